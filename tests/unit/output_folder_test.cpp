// The output folder check on real folders: created when missing, refused
// with its reason when it cannot take a file (a file in the way, another
// user's folder, a read-only disk).
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>
#include <functional>

#include "app/folders.h"
#include "app/localization.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"

using platform::FromUtf8;

namespace {

// Runs `body` in a child process and returns its exit code (or -1).
int InChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

class OutputFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
    }
    void TearDown() override { platform::ResourceBundle::Current().Unload(); }
};

}  // namespace

TEST_F(OutputFolder, CreatesMissingLevelsAndLeavesNothingBehind) {
    testsupport::TempDir tmp;
    const std::string folder = tmp / "a/b c/d";
    EXPECT_EQ(OutputFolderProblem(FromUtf8(folder)), L"");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the write probe is removed";
}

TEST_F(OutputFolder, AFileInTheWayIsNotAFolder) {
    testsupport::TempDir tmp;
    testsupport::WriteFile(tmp / "file", "x");
    EXPECT_EQ(OutputFolderProblem(FromUtf8(tmp / "file")), LoadText(33501));
    EXPECT_EQ(OutputFolderProblem(FromUtf8(tmp / "file/sub/deeper")), LoadText(33501));
    EXPECT_FALSE(std::filesystem::exists(tmp / "file/sub"));
}

TEST_F(OutputFolder, PermissionDeniedAndReadOnlyAreTold) {
    testsupport::TempDir tmp;
    std::filesystem::create_directories(tmp / "locked");
    chmod((tmp / "locked").c_str(), 0755);
    chmod(tmp.path().c_str(), 0755);
    // Another user may neither create below the folder nor write in it.
    const std::string locked = tmp / "locked";
    const std::wstring denied = LoadText(33503);
    int code = InChild([&] {
        if (getuid() == 0 && setuid(65534) != 0) return 90;
        if (OutputFolderProblem(FromUtf8(locked)) != denied) return 1;
        if (OutputFolderProblem(FromUtf8(locked + "/new")) != denied) return 2;
        return 0;
    });
    if (code == 90) GTEST_SKIP() << "cannot become another user here";
    EXPECT_EQ(code, 0);

    // A read-only file system, mounted in a private namespace of a child.
    const std::string ro = tmp / "ro";
    std::filesystem::create_directories(ro);
    const std::wstring readOnly = LoadText(33502);
    code = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0) return 90;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 90;
        if (mount("none", ro.c_str(), "tmpfs", MS_RDONLY, nullptr) != 0) return 90;
        if (OutputFolderProblem(FromUtf8(ro)) != readOnly) return 1;
        if (OutputFolderProblem(FromUtf8(ro + "/sub")) != readOnly) return 2;
        return 0;
    });
    if (code == 90) GTEST_SKIP() << "cannot mount a read-only file system here";
    EXPECT_EQ(code, 0);
}

TEST(OutputFolderWithoutStrings, AFileInTheWayIsStillRefused) {
    // clipvane-get runs without the string table: the refusal must not be
    // an empty reason, which reads as an accepted folder.
    testsupport::TempDir tmp;
    testsupport::WriteFile(tmp / "file", "x");
    EXPECT_NE(OutputFolderProblem(FromUtf8(tmp / "file")), L"");
}
