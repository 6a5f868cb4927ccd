// `cpack -G DEB` in the build folder: the Debian package's control fields,
// its file list under /usr, and its AppStream metainfo as the validator
// reads it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "support/process_harness.h"
#include "ui/desktop/desktop_integration.h"

namespace fs = std::filesystem;
using testsupport::RunShell;
using testsupport::TempDir;

namespace {

std::string Field(const std::string& deb, const std::string& name) {
    std::string out;
    RunShell("dpkg-deb -f '" + deb + "' " + name, out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(DebianPackage, ControlFieldsFilesAndMetainfo) {
    std::string out;
    if (RunShell("command -v dpkg-deb && command -v dpkg-shlibdeps", out) != 0)
        GTEST_SKIP() << "dpkg-dev is not installed";
    TempDir dir;
    const std::string config = std::string(CLIPVANE_BUILD_DIR) + "/CPackConfig.cmake";
    ASSERT_EQ(RunShell(std::string("'") + CLIPVANE_CPACK + "' -G DEB --config '" + config +
                           "' -B '" + dir.path() + "'",
                       out),
              0)
        << out;
    const std::string deb = dir / ("clipvane_" + std::string(CLIPVANE_VERSION) + "_amd64.deb");
    ASSERT_TRUE(fs::exists(deb)) << out;

    EXPECT_EQ(Field(deb, "Package"), "clipvane");
    EXPECT_EQ(Field(deb, "Version"), CLIPVANE_VERSION);
    EXPECT_EQ(Field(deb, "Architecture"), "amd64");
    EXPECT_EQ(Field(deb, "Section"), "video");
    EXPECT_EQ(Field(deb, "Recommends"), "ffmpeg, yt-dlp");
    EXPECT_FALSE(Field(deb, "Maintainer").empty());
    EXPECT_FALSE(Field(deb, "Description").empty());
    // The libraries come from dpkg-shlibdeps, the player is named.
    const std::string depends = Field(deb, "Depends");
    for (const char* d : {"mplayer", "libc6", "libqt6widgets6", "libsqlite3-0", "libcurl"})
        EXPECT_TRUE(Has(depends, d)) << d << " missing in: " << depends;

    ASSERT_EQ(RunShell("dpkg-deb -c '" + deb + "'", out), 0) << out;
    const std::string id = ui::kDesktopAppId;
    for (const std::string& f : std::vector<std::string>{
             "./usr/lib/clipvane/clipvane", "./usr/lib/clipvane/clipvane-get",
             "./usr/lib/clipvane/cvres.bundle", "./usr/bin/clipvane -> ../lib/clipvane/clipvane",
             "./usr/share/applications/" + id + ".desktop",
             "./usr/share/metainfo/" + id + ".metainfo.xml",
             "./usr/share/icons/hicolor/256x256/apps/" + id + ".png",
             "./usr/share/icons/hicolor/scalable/apps/" + id + ".svg",
             "./usr/share/man/man1/clipvane.1", "./usr/share/man/man1/clipvane-get.1"})
        EXPECT_TRUE(Has(out, f)) << f;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(" ./");
        ASSERT_NE(at, std::string::npos) << line;
        const std::string path = line.substr(at + 1);
        EXPECT_TRUE(path == "./" || path.rfind("./usr/", 0) == 0) << "outside /usr: " << path;
        EXPECT_FALSE(Has(path, CLIPVANE_BUILD_DIR)) << path;
    }

    // Installed from the package, the entry starts the program under /usr
    // and the metainfo passes the validator.
    const std::string root = dir / "root";
    ASSERT_EQ(RunShell("dpkg-deb -x '" + deb + "' '" + root + "'", out), 0) << out;
    const std::string entry =
        testsupport::ReadFile(root + "/usr/share/applications/" + id + ".desktop");
    EXPECT_TRUE(Has(entry, "\nExec=/usr/bin/clipvane")) << entry;
    const std::string metainfo = root + "/usr/share/metainfo/" + id + ".metainfo.xml";
    EXPECT_TRUE(Has(testsupport::ReadFile(metainfo),
                    "<release version=\"" + std::string(CLIPVANE_VERSION) + "\""));
    if (RunShell("command -v appstreamcli", out) == 0) {
        EXPECT_EQ(RunShell("appstreamcli validate --no-net '" + metainfo + "'", out), 0) << out;
    }
}
