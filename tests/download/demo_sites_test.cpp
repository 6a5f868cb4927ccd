// The demo's stand-in sites serve real videos that the downloader fetches
// whole and the probe reads, with and without sound.
#include <gtest/gtest.h>

#include <filesystem>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The one file of a site's folder, or empty.
std::string OnlyFile(const std::string& dir) {
    std::vector<std::string> all;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(dir, ec)) all.push_back(e.path().string());
    return all.size() == 1 ? all[0] : std::string();
}

}  // namespace

TEST(DemoSites, VideosDownloadWholeAndProbeWithAndWithoutSound) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartDemo());
    TempDir home;
    ProgramRun get(ClipvaneGetPath(), home.path());
    get.env["http_proxy"] = sites.ProxyUrl();
    get.env["https_proxy"] = sites.ProxyUrl();
    get.env["CURL_CA_BUNDLE"] = sites.CaBundle();
    get.env.erase("no_proxy");
    // The demo page links the videos; the import finds its YouTube and Google
    // Video addresses, the MetaCafe one is given as well.
    get.args = {"-o",
                home / "out",
                "--use-title",
                "-i",
                "http://demo.clipvane.test/",
                "http://www.metacafe.com/watch/123/funny_cat/"};
    ASSERT_EQ(RunTool(get), 0) << get.Output();

    struct Site {
        const char* folder;
        const char* served;
        bool sound;
    } sites_[] = {{"YouTube", "park.mp4", true},
                  {"Google", "sunset.flv", true},
                  {"MetaCafe", "cat.flv", false}};
    for (const auto& s : sites_) {
        std::string file = OnlyFile(home / "out/" + s.folder);
        ASSERT_FALSE(file.empty()) << s.folder << "\n" << get.Output();
        EXPECT_EQ(ReadFile(file), ReadFile(sites.Files() + "/" + s.served)) << s.folder;

        ProgramRun probe(std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane-probe", home.path());
        probe.args = {file};
        ASSERT_EQ(RunTool(probe), 0) << probe.Output();
        std::string out = probe.Output();
        EXPECT_NE(out.find("size: 320x240"), std::string::npos) << out;
        EXPECT_NE(out.find("rate: 25 fps"), std::string::npos) << out;
        EXPECT_NE(out.find("duration: 00:00:05"), std::string::npos) << out;
        EXPECT_EQ(out.find("audio: none") == std::string::npos, s.sound) << out;
    }
}
