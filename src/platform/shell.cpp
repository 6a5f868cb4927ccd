#include "platform/shell.h"

#include <thread>

#include "platform/child_process.h"
#include "platform/text.h"

namespace platform {

bool OpenWithDesktop(const std::wstring& target) {
    ChildOptions o;
    o.argv = {"xdg-open", ToUtf8(target)};
    ChildProcess opener;
    if (opener.Spawn(o) != 0) return false;
    // Reap the opener when it ends so that it leaves no zombie.
    std::thread([child = std::move(opener)]() mutable { child.Wait(); }).detach();
    return true;
}

}  // namespace platform
