#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "platform/text.h"

extern char** environ;

namespace platform {

bool OpenWithDesktop(const std::wstring& target) {
    std::string arg = ToUtf8(target);
    char prog[] = "xdg-open";
    char* argv[] = {prog, arg.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, prog, nullptr, nullptr, argv, environ) != 0) return false;
    // Reap the opener when it ends so that it leaves no zombie.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace platform
