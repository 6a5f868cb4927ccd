// Packs resource files into the program's resource bundle.
// Usage: cvres_pack OUTPUT NAME=FILE...
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/resource_bundle.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: cvres_pack OUTPUT NAME=FILE...\n");
        return 2;
    }
    std::map<std::string, std::string> entries;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0 || arg.find(' ') < eq) {
            std::fprintf(stderr, "cvres_pack: bad entry '%s'\n", argv[i]);
            return 2;
        }
        std::ifstream in(arg.substr(eq + 1), std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cvres_pack: cannot read '%s'\n", arg.c_str() + eq + 1);
            return 1;
        }
        std::ostringstream ss;
        ss << in.rdbuf();
        entries[arg.substr(0, eq)] = ss.str();
    }
    std::string bytes = platform::ResourceBundle::Pack(entries);
    std::string tmp = std::string(argv[1]) + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return 1;
    }
    return std::rename(tmp.c_str(), argv[1]) == 0 ? 0 : 1;
}
