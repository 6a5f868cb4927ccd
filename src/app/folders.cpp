#include "app/folders.h"

#include "app/helpers.h"
#include "platform/folders.h"

std::wstring GetProgramFolder() {
    std::wstring exe = platform::ExecutablePath();
    size_t slash = exe.rfind(L'/');
    if (exe.empty() || slash == std::wstring::npos) return L".";
    if (slash == 0) return L"/";
    return exe.substr(0, slash);
}

std::wstring GetDataFolder() {
    std::wstring folder;
    std::wstring root = platform::UserDataRoot();
    if (!root.empty()) {
        folder = root;
        if (folder.back() != L'/') folder += L'/';
        folder += kAppName;
    } else {
        std::wstring exe = platform::ExecutablePath();
        size_t slash = exe.rfind(L'/');
        if (slash != std::wstring::npos) folder = exe.substr(0, slash + 1) + L"Profile";
    }
    while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
    CreateFolderTree(folder);
    return folder;
}
