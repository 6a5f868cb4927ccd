#include "media_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace mediatest {

namespace {
struct Cache {
    std::string dir;
    Cache() {
        char tmpl[] = "/tmp/cv_media_XXXXXX";
        dir = ::mkdtemp(tmpl);
        const std::string f = "ffmpeg -nostdin -loglevel error -y ";
        Shell(f +
              "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
              "sine=frequency=440:sample_rate=22050 -t 2 -c:v flv -c:a libmp3lame " +
              dir + "/a.flv");
        Shell(f + "-f lavfi -i testsrc=size=176x144:rate=15 -t 2 -c:v mpeg4 " + dir + "/b.mp4");
        Shell(f + "-f lavfi -i sine -t 2 " + dir + "/c.mp3");
    }
    ~Cache() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};
Cache& TheCache() {
    static Cache c;
    return c;
}
}  // namespace

int Shell(const std::string& cmd) {
    return std::system(cmd.c_str());
}

const std::string& MediaDir() {
    return TheCache().dir;
}

std::string Media(const std::string& name) {
    return MediaDir() + "/" + name;
}

std::string ScratchDir() {
    static int n = 0;
    std::string d = MediaDir() + "/s" + std::to_string(++n);
    fs::create_directories(d);
    return d;
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

}  // namespace mediatest
