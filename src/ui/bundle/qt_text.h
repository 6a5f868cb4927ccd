#pragma once
#include <QString>
#include <string>

namespace ui {
inline QString ToQ(const std::wstring& s) {
    return QString::fromStdWString(s);
}
inline std::wstring FromQ(const QString& s) {
    return s.toStdWString();
}
}  // namespace ui
