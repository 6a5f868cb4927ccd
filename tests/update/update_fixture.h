#pragma once
// A fresh data folder and log for each test, and the stand-in vendor site
// with a version file of the test's choosing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "app/folders.h"
#include "app/logging.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"
#include "update/version_check.h"

namespace updatetest {

// A scenario whose version file answers with `status` and `body` (JSON
// text given as it stands in `extra` for further route fields).
inline std::string VersionScenario(int status, const std::string& body,
                                   const std::string& extra = "") {
    std::string escaped;
    for (char c : body) {
        if (c == '"' || c == '\\') escaped += '\\';
        if (c == '\n') { escaped += "\\n"; continue; }
        if (c == '\r') { escaped += "\\r"; continue; }
        escaped += c;
    }
    return "{\"routes\": [{\"host\": \"www.clipvane.example\", \"path\": "
           "\"/update/clipvane_version.ini\", \"status\": " +
           std::to_string(status) + ", \"body\": \"" + escaped + "\"" + extra + "}]}";
}

inline std::string VersionBody(int major, int minor, int build) {
    return "[Gerneral]\r\nmajor_version=" + std::to_string(major) + "\r\nminor_version=" +
           std::to_string(minor) + "\r\nbuild=" + std::to_string(build) + "\r\n";
}

class UpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
        unsetenv("no_proxy");
        unsetenv("NO_PROXY");
        GetDataFolder();
        InitLogging(LogPath());
        SetVersionCheckTimeout(std::chrono::seconds(20));
    }
    void TearDown() override {
        ASSERT_TRUE(StopVersionChecks(std::chrono::seconds(30)));
        ClearResultWindow();
        ShutdownLogging();
        unsetenv("http_proxy");
        unsetenv("https_proxy");
    }
    bool StartSite(const std::string& scenario) {
        if (!sites_.Start(scenario)) return false;
        sites_.UseAsProxy();
        return true;
    }
    std::string DataDir() const { return home_ / "data/Clipvane"; }
    std::string LogPath() const { return home_ / "data/Clipvane/vuzeziv.log"; }
    std::string Log() const { return testsupport::ReadFile(LogPath()); }

    testsupport::TempDir home_;
    testsupport::FakeSites sites_;
};

}  // namespace updatetest
