// Which answers count as the media itself.
#include "download/media_types.h"

#include <gtest/gtest.h>

TEST(IsMediaContentType, MediaTypesWithAnyCaseAndParameters) {
    for (const char* type :
         {"video/x-flv", "video/mp4", "VIDEO/MP4", "audio/mpeg", "video/mp2t; charset=binary",
          "application/octet-stream", "Application/Octet-Stream ; name=\"x.flv\"",
          "binary/octet-stream", "application/vnd.apple.mpegurl", "application/x-mpegURL",
          "application/mp4", "application/ogg", "application/x-shockwave-flash", "", "  ",
          " ; charset=utf-8"})
        EXPECT_TRUE(IsMediaContentType(type)) << type;
}

TEST(IsMediaContentType, PagesAndOtherTypesAreNotMedia) {
    for (const char* type :
         {"text/html", "text/html; charset=utf-8", "text/plain", "TEXT/XML", "application/json",
          "application/xml", "application/xhtml+xml", "application/javascript", "image/png",
          "application/x-www-form-urlencoded", "video/", "videos/mp4", "application/octet-streams",
          "multipart/x-mixed-replace"})
        EXPECT_FALSE(IsMediaContentType(type)) << type;
}
