#pragma once
// Addresses and names from outside (pages, servers, files) as the window
// shows them: characters that hide or reorder text (bidirectional controls,
// zero-width characters, controls) become U+FFFD, as they are replaced in
// file names, so that "sm9\u202Eevil.exe" cannot pass for "sm9exe.live".
#include <QString>
#include <string>

#include "platform/text.h"

namespace ui {

inline std::wstring ShowHidden(std::wstring text) {
    for (wchar_t& c : text)
        if (platform::IsHiddenOrControl(static_cast<char32_t>(c))) c = platform::kReplacementChar;
    return text;
}

inline QString ShownQ(const std::wstring& text) {
    return QString::fromStdWString(ShowHidden(text));
}

inline QString ShownQ(const QString& text) {
    return ShownQ(text.toStdWString());
}

}  // namespace ui
