// The version check against the stand-in vendor site: what it posts, what
// it logs and what it leaves in the data folder.
#include <dirent.h>

#include <chrono>

#include "app/messages.h"
#include "platform/text.h"
#include "update/vendor_site.h"
#include "update_fixture.h"

using namespace std::chrono_literals;
using testsupport::ReadFile;
using testsupport::WriteFile;
using updatetest::UpdateTest;
using updatetest::VersionBody;
using updatetest::VersionScenario;

namespace {

const ProgramVersion kRunning{2, 0, 8};

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class VersionCheck : public UpdateTest {
  protected:
    // Runs one check on this thread and returns what it posted.
    std::deque<platform::PostedMessage> Check(const ProgramVersion& running = kRunning) {
        SetResultWindow(&target_);
        EXPECT_EQ(CheckVersionThread(running), 0);
        ClearResultWindow();
        return target_.TakeAll();
    }
    platform::QueuePostTarget target_;
};

}  // namespace

TEST(VersionCompare, NewerOnlyByMajorThenMinorThenBuild) {
    struct Case {
        ProgramVersion remote;
        bool newer;
    } cases[] = {{{2, 0, 9}, true},  {{2, 0, 8}, false}, {{1, 9, 99}, false}, {{3, 0, 0}, true},
                 {{2, 1, 0}, true},  {{2, 0, 7}, false}, {{1, 99, 99}, false}, {{0, 0, 0}, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsNewerVersion(c.remote, kRunning), c.newer)
            << c.remote.major << "." << c.remote.minor << "." << c.remote.build;
}

TEST(VersionCompare, MessageParametersPackMajorLowMinorHigh) {
    EXPECT_EQ(PackVersionWord({2, 0, 9}), 2u);
    EXPECT_EQ(PackVersionWord({2, 3, 9}), 3u * 65536 + 2);
    EXPECT_EQ(PackVersionWord({70000, 1, 0}), 65536u + (70000 % 65536));
    EXPECT_EQ(UnpackVersion(PackVersionWord({4, 12, 0}), 345), (ProgramVersion{4, 12, 345}));
}

TEST_F(UpdateTest, VersionFileReadsGerneralOnlyAndMissingKeysAsZero) {
    std::string path = home_ / "v.ini";
    WriteFile(path, "; releases\n[gerneral]\nMAJOR_VERSION = \"3\"\nbuild=12abc\n");
    EXPECT_EQ(ReadVersionFile(platform::FromUtf8(path)), (ProgramVersion{3, 0, 12}));
    WriteFile(path, "[General]\nmajor_version=9\nminor_version=9\nbuild=9\n");
    EXPECT_EQ(ReadVersionFile(platform::FromUtf8(path)), (ProgramVersion{}));
    WriteFile(path, "<html><body>Not found</body></html>");
    EXPECT_EQ(ReadVersionFile(platform::FromUtf8(path)), (ProgramVersion{}));
    EXPECT_EQ(ReadVersionFile(platform::FromUtf8(home_ / "absent.ini")), (ProgramVersion{}));
}

TEST_F(VersionCheck, NewerSameAndOlderVersionsOnTheSite) {
    struct Case {
        ProgramVersion remote;
        unsigned msg;
        const char* logLine;
    } cases[] = {{{2, 0, 9}, MsgNewVersion, "New version available: 2.0.9"},
                 {{3, 0, 0}, MsgNewVersion, "New version available: 3.0.0"},
                 {{2, 0, 8}, MsgNoNewVersion, "No new version available: 2.0.8"},
                 {{1, 9, 99}, MsgNoNewVersion, "No new version available: 1.9.99"}};
    for (const auto& c : cases) {
        testsupport::FakeSites site;
        ASSERT_TRUE(site.Start(VersionScenario(
            200, VersionBody(c.remote.major, c.remote.minor, c.remote.build))));
        site.UseAsProxy();
        auto posted = Check();
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].msg, c.msg);
        EXPECT_EQ(UnpackVersion(posted[0].wParam, posted[0].lParam), c.remote);
        EXPECT_NE(Log().find(c.logLine), std::string::npos) << c.logLine;
    }
}

TEST_F(VersionCheck, AsksTheVendorHostForTheVersionFileFromTheServer) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9))));
    Check();
    auto reqs = sites_.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_EQ(reqs[0].target, "http://www.clipvane.example/update/clipvane_version.ini");
    EXPECT_EQ(platform::ToUtf8(VendorVersionFileUrl()), reqs[0].target);
    EXPECT_EQ(reqs[0].Header("Cache-Control"), "no-cache");
    EXPECT_EQ(reqs[0].Header("User-Agent"), "");

    const std::string local = DataDir() + "/version.ini";
    std::string log = Log();
    EXPECT_NE(log.find("Checking upgrade version..."), std::string::npos);
    EXPECT_NE(log.find("Downloading INI file " + local + "..."), std::string::npos);
    EXPECT_NE(log.find("Downloading file from url: " + reqs[0].target), std::string::npos);
    // The local copy sits in the data folder, whole, and nothing else is left.
    EXPECT_EQ(ReadFile(local), VersionBody(2, 0, 9));
    EXPECT_EQ(FilesIn(DataDir()), (std::vector<std::string>{"version.ini", "vuzeziv.log"}));
}

TEST_F(VersionCheck, ErrorPagesFailTheCheckAndKeepTheLastCopy) {
    WriteFile(DataDir() + "/version.ini", VersionBody(2, 0, 5));
    for (int status : {404, 500, 302}) {
        testsupport::FakeSites site;
        // Even a page that reads like a version file is no answer.
        ASSERT_TRUE(site.Start(VersionScenario(status, VersionBody(9, 9, 9))));
        site.UseAsProxy();
        auto posted = Check();
        ASSERT_EQ(posted.size(), 1u) << status;
        EXPECT_EQ(posted[0].msg, MsgCheckFailed);
        EXPECT_EQ(posted[0].wParam, 0u);
        EXPECT_EQ(posted[0].lParam, 0);
        EXPECT_NE(Log().find("Error occured: the server answered with status " +
                             std::to_string(status)),
                  std::string::npos);
    }
    EXPECT_NE(Log().find("Check new version failed."), std::string::npos);
    EXPECT_EQ(ReadFile(DataDir() + "/version.ini"), VersionBody(2, 0, 5));
    EXPECT_EQ(FilesIn(DataDir()), (std::vector<std::string>{"version.ini", "vuzeziv.log"}));
}

TEST_F(VersionCheck, ASiteThatNeverAnswersFailsWithinTheTimeOut) {
    SetVersionCheckTimeout(1500ms);
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9), ", \"stall_after\": 10")));
    auto start = std::chrono::steady_clock::now();
    auto posted = Check();
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, MsgCheckFailed);
    EXPECT_LT(took, 15s);
    EXPECT_NE(Log().find("Error occured: Timeout was reached"), std::string::npos);
}

TEST_F(VersionCheck, NoServerAtAllFails) {
    // A proxy address where nothing listens.
    setenv("http_proxy", "http://127.0.0.1:1", 1);
    auto posted = Check();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, MsgCheckFailed);
    EXPECT_NE(Log().find("Error occured: "), std::string::npos);
}

TEST_F(VersionCheck, AnswersBeyond64KiBFailWithOrWithoutALength) {
    for (const char* extra : {", \"body_size\": 70000", ", \"body_size\": 70000, \"content_length\": false"}) {
        testsupport::FakeSites site;
        std::string scenario = "{\"routes\": [{\"host\": \"www.clipvane.example\", \"path\": "
                               "\"/update/clipvane_version.ini\"" + std::string(extra) + "}]}";
        ASSERT_TRUE(site.Start(scenario));
        site.UseAsProxy();
        auto posted = Check();
        ASSERT_EQ(posted.size(), 1u) << extra;
        EXPECT_EQ(posted[0].msg, MsgCheckFailed);
    }
    EXPECT_NE(Log().find("Error occured: the answer is larger than 65536 bytes"), std::string::npos);
    EXPECT_EQ(FilesIn(DataDir()), (std::vector<std::string>{"vuzeziv.log"}));
}

TEST_F(VersionCheck, AnAnswerOfExactly64KiBIsRead) {
    std::string body = VersionBody(2, 1, 0);
    body += std::string(kMaxVersionFileBytes - body.size(), ';');
    ASSERT_TRUE(StartSite(VersionScenario(200, body)));
    auto posted = Check();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, MsgNewVersion);
}

TEST_F(VersionCheck, WithoutAResultWindowNothingIsPostedOrLogged) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9))));
    EXPECT_EQ(CheckVersionThread(kRunning), 0);
    EXPECT_TRUE(target_.TakeAll().empty());
    EXPECT_EQ(Log().find("New version available"), std::string::npos);
    // The copy is still saved.
    EXPECT_EQ(ReadFile(DataDir() + "/version.ini"), VersionBody(2, 0, 9));
}

TEST_F(VersionCheck, TheThreadWorksOnItsOwnCopyOfTheVersion) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9))));
    SetResultWindow(&target_);
    {
        ProgramVersion running = kRunning;
        StartVersionCheck(running);
        running = {9, 9, 9};
    }
    auto msg = target_.Take(30s);
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg->msg, MsgNewVersion);
    EXPECT_TRUE(WaitForVersionChecks(30s));
}

TEST_F(VersionCheck, StopEndsAHangingCheckAtOnce) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9), ", \"stall_after\": 5")));
    SetResultWindow(&target_);
    StartVersionCheck(kRunning);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !sites_.Requests().empty(); }, 10s));
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopVersionChecks(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(target_.TakeAll().empty());
}

TEST_F(VersionCheck, TheDemoSiteOffersANewerVersionAndTheUpgradePage) {
    ASSERT_TRUE(sites_.StartFile("vendor.json"));
    sites_.UseAsProxy();
    auto posted = Check();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, MsgNewVersion);
    EXPECT_EQ(UnpackVersion(posted[0].wParam, posted[0].lParam), (ProgramVersion{2, 0, 9}));
    for (const std::wstring& page : {VendorUpgradePage(), VendorHomePage()}) {
        std::wstring file = platform::FromUtf8(home_ / "page.html");
        EXPECT_EQ(GetVersionFile(page, file), 1);
        EXPECT_NE(ReadFile(home_ / "page.html").find("Clipvane"), std::string::npos);
    }
    EXPECT_EQ(platform::ToUtf8(VendorUpgradePage()), "http://www.clipvane.example/upgrade.php");
}
