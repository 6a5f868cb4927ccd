#include "ui/dialogs/folder_browser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

#include "app/folders.h"
#include "app/localization.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"

namespace ui {
namespace {

// Refuses, with its reason, a folder that cannot take downloads; the
// dialog stays open on it.
class FolderDialog : public QFileDialog {
  public:
    FolderDialog(QWidget* parent, const QString& title, std::wstring kept)
        : QFileDialog(parent, title), kept_(std::move(kept)) {}
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && !chosen.first().isEmpty()) {
            const std::wstring path = FromQ(QDir::cleanPath(chosen.first()));
            if (const std::wstring why = OutputFolderProblem(path); !why.empty()) {
                platform::ShowMessageBox(
                    platform::FormatW(LoadText(ids::str::kFolderRefused).c_str(), path.c_str(),
                                      why.c_str(), kept_.c_str()),
                    TranslateWord(L"Clipvane"), platform::MB_OK | platform::MB_ICONWARNING);
                return;
            }
        }
        QFileDialog::accept();
    }

  private:
    std::wstring kept_;  // the folder that stays when a choice is refused
};

}  // namespace

QString FolderStatusText(const QString& path) {
    constexpr int kShown = 35;
    if (path.size() <= kShown) return path;
    return path.left(kShown) + QStringLiteral("...");
}

std::optional<std::wstring> BrowseForFolder(QWidget* parent, const std::wstring& initial,
                                            const std::wstring& title) {
    FolderDialog dlg(parent, title.empty() ? QStringLiteral("Current Selection") : ToQ(title),
                     initial);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
    // Qt's own dialog: the desktop's may not take a status line.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);

    auto* status = new QLabel(&dlg);
    status->setObjectName(QStringLiteral("folderStatus"));
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());

    const QString start = ToQ(initial);
    QFileInfo startInfo(start);
    if (!start.isEmpty() && startInfo.isDir()) {
        dlg.setDirectory(startInfo.absoluteFilePath());
        status->setText(FolderStatusText(QDir::toNativeSeparators(startInfo.absoluteFilePath())));
    }
    QObject::connect(&dlg, &QFileDialog::currentChanged, status, [&dlg, status](const QString& p) {
        status->setText(FolderStatusText(p.isEmpty() ? dlg.directory().absolutePath() : p));
    });
    QObject::connect(&dlg, &QFileDialog::directoryEntered, status,
                     [status](const QString& p) { status->setText(FolderStatusText(p)); });

    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dlg.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    // Only a folder with a path on disk counts as chosen.
    QFileInfo info(chosen.first());
    if (chosen.first().isEmpty() || !info.isAbsolute() || !info.isDir()) return std::nullopt;
    return FromQ(QDir::cleanPath(info.absoluteFilePath()));
}

}  // namespace ui
