#include "media/cmd_opts.h"

#include <unistd.h>

#include "app/folders.h"
#include "media/command_line.h"
#include "platform/text.h"

void CCmdOpts::SetInputFile(const std::wstring& path) {
    inputFile_ = path;
}

void CCmdOpts::SetValue(const std::wstring& name, const std::wstring& value) {
    for (auto& o : options_) {
        if (o.name == name) {
            o.value = value;
            return;
        }
    }
    options_.push_back({name, value});
}

void CCmdOpts::SetFlag(const std::wstring& name) {
    SetValue(name, L"");
}

void CCmdOpts::SetOption(const std::wstring& name, const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::wstring v = platform::FormatWV(0, fmt, ap);
    va_end(ap);
    SetValue(name, v);
}

void CCmdOpts::AppendOption(const std::wstring& name, const std::wstring& separator,
                            const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::wstring v = platform::FormatWV(0, fmt, ap);
    va_end(ap);
    for (auto& o : options_) {
        if (o.name == name) {
            o.value += separator + v;
            return;
        }
    }
    options_.push_back({name, v});
}

void CCmdOpts::RemoveOption(const std::wstring& name) {
    options_.remove_if([&](const Option& o) { return o.name == name; });
}

void CCmdOpts::ClearOptions() {
    options_.clear();
}

const wchar_t* CCmdOpts::GetCommandLine() {
    commandLine_ = programPrefix_;
    for (const auto& o : options_) commandLine_ += L" " + o.name + L" " + o.value;
    if (!inputFile_.empty()) commandLine_ += L" \"" + media::EscapeForQuotes(inputFile_) + L"\"\"";
    return commandLine_.c_str();
}

std::wstring PlayerProgramPath() {
    std::wstring link = GetProgramFolder() + L"/mplayer";
    if (::access(media::WideToBytes(link).c_str(), X_OK) == 0) return link;
    return L"mplayer";
}

CMPlayerOpts::CMPlayerOpts() {
    // No interpreter stands between us and the player: the prefix is the
    // quoted program alone, and the input file's closing double quote adds
    // nothing when the line is split.
    SetProgram(PlayerProgramPath());
}

void CMPlayerOpts::SetProgram(const std::wstring& path) {
    programPrefix_ = L"\"" + media::EscapeForQuotes(path) + L"\"";
}
