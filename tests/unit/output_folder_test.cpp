// The output folder check on real folders: created when missing, refused
// with its reason when it cannot take a file.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>

#include "app/output_folder.h"
#include "platform/text.h"
#include "support/process_harness.h"

using platform::FromUtf8;
using platform::ToUtf8;

namespace {

// Runs `body` in a child process and returns its exit code (or -1).
int InChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST(OutputFolder, CreatesMissingLevelsAndLeavesNothingBehind) {
    testsupport::TempDir tmp;
    const std::string folder = tmp / "a/b c/d";
    FolderCheck c = CheckOutputFolder(FromUtf8(folder + "//"));
    ASSERT_TRUE(c.ok()) << ToUtf8(DescribeFolderProblem(c, FromUtf8(folder)));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the write probe is removed";
    EXPECT_EQ(CheckOutputFolder(L"").problem, FolderProblem::Empty);
}

TEST(OutputFolder, AFileInTheWayIsNamed) {
    testsupport::TempDir tmp;
    testsupport::WriteFile(tmp / "file", "x");
    FolderCheck self = CheckOutputFolder(FromUtf8(tmp / "file"));
    EXPECT_EQ(self.problem, FolderProblem::NotAFolder);
    EXPECT_EQ(ToUtf8(self.where), tmp / "file");
    FolderCheck below = CheckOutputFolder(FromUtf8(tmp / "file/sub/deeper"));
    EXPECT_EQ(below.problem, FolderProblem::NotAFolder);
    EXPECT_EQ(ToUtf8(below.where), tmp / "file") << "the parent that is a file, not the folder";
    EXPECT_FALSE(std::filesystem::exists(tmp / "file/sub"));
}

TEST(OutputFolder, PermissionDeniedAndReadOnlyAreTold) {
    testsupport::TempDir tmp;
    std::filesystem::create_directories(tmp / "locked");
    chmod((tmp / "locked").c_str(), 0755);
    chmod(tmp.path().c_str(), 0755);
    // Another user may neither create below the folder nor write in it.
    const std::string locked = tmp / "locked";
    int code = InChild([&] {
        if (getuid() == 0 && setuid(65534) != 0) return 90;
        FolderCheck inside = CheckOutputFolder(FromUtf8(locked));
        FolderCheck below = CheckOutputFolder(FromUtf8(locked + "/new"));
        if (inside.problem != FolderProblem::PermissionDenied) return 1;
        if (below.problem != FolderProblem::PermissionDenied) return 2;
        if (ToUtf8(below.where) != locked + "/new") return 3;
        return 0;
    });
    if (code == 90) GTEST_SKIP() << "cannot become another user here";
    EXPECT_EQ(code, 0);

    // A read-only file system, mounted in a private namespace of a child.
    const std::string ro = tmp / "ro";
    std::filesystem::create_directories(ro);
    code = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0) return 90;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 90;
        if (mount("none", ro.c_str(), "tmpfs", MS_RDONLY, nullptr) != 0) return 90;
        FolderCheck c = CheckOutputFolder(FromUtf8(ro));
        FolderCheck sub = CheckOutputFolder(FromUtf8(ro + "/sub"));
        return c.problem == FolderProblem::ReadOnly && sub.problem == FolderProblem::ReadOnly ? 0
                                                                                              : 1;
    });
    if (code == 90) GTEST_SKIP() << "cannot mount a read-only file system here";
    EXPECT_EQ(code, 0);
}
