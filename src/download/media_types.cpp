#include "download/media_types.h"

#include <cctype>
#include <string>

bool IsMediaContentType(std::string_view contentType) {
    // The type and subtype, without parameters and blanks, in lower case.
    std::string type;
    for (char c : contentType.substr(0, contentType.find(';')))
        if (!std::isspace(static_cast<unsigned char>(c)))
            type += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (type.empty()) return true;
    if (type.rfind("video/", 0) == 0 || type.rfind("audio/", 0) == 0) return type.size() > 6;
    static const char* const kMedia[] = {
        "application/octet-stream",      "binary/octet-stream", "application/vnd.apple.mpegurl",
        "application/x-mpegurl",         "application/mp4",     "application/ogg",
        "application/x-shockwave-flash",
    };
    for (const char* m : kMedia)
        if (type == m) return true;
    return false;
}
