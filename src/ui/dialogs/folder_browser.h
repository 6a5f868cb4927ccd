#pragma once
// The folder browser: a directory chooser with a status line that shows the
// folder in focus.
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace ui {

// The status line's text: the path, cut to its first 35 characters and
// "..." when longer.
QString FolderStatusText(const QString& path);

// Shows the chooser over `parent`, starting at `initial`, under `title`
// ("Current Selection" when empty). The chosen folder's path, or nullopt
// when the user cancels or the choice is no folder on disk.
std::optional<std::wstring> BrowseForFolder(QWidget* parent, const std::wstring& initial,
                                            const std::wstring& title);

// What the general page and the choose-folder command call; tests put a
// chooser of their own in its place.
using FolderChooser = std::function<std::optional<std::wstring>(
    QWidget* parent, const std::wstring& initial, const std::wstring& title)>;

}  // namespace ui
