#pragma once
// The settings sheet: the general, online, audio and video pages on tabs,
// with OK and Cancel (no Apply).
#include <QDialog>
#include <functional>
#include <string>

#include "resource_ids.h"

class QTabWidget;
class CPageGeneral;
class CPageOnline;
class CPageAudio;
class CPageVideo;
namespace ui {
class SettingsPage;
}

namespace ui {

class SettingsSheet : public QDialog {
    Q_OBJECT
  public:
    static constexpr unsigned kCaptionId = ids::str::kSettings;
    explicit SettingsSheet(QWidget* parent = nullptr);

    CPageGeneral* General() const { return general_; }
    CPageOnline* Online() const { return online_; }
    CPageAudio* Audio() const { return audio_; }
    CPageVideo* Video() const { return video_; }
    QTabWidget* Tabs() const { return tabs_; }

    // OK: every page that was shown checks its fields; a refusal shows its
    // message, brings its page forward and keeps the sheet open. Otherwise
    // every shown page stores and saves, and the sheet closes.
    void accept() override;

  private:
    // Leaving a page with a refused field brings it back.
    void OnTabChanged(int index);
    // Ctrl+Tab, Ctrl+PgDn: the next page; with Shift, or Ctrl+PgUp: the
    // one before; round the end.
    void StepPage(int step);
    bool Refuses(ui::SettingsPage* page);

    QTabWidget* tabs_;
    CPageGeneral* general_;
    CPageOnline* online_;
    CPageAudio* audio_;
    CPageVideo* video_;
    int current_ = 0;
    bool switching_ = false;
};

}  // namespace ui

namespace ui {

// What the settings command leaves for the main window to take over.
struct SettingsOutcome {
    bool confirmed = false;
    // The output folder text the window shows from now on (the general
    // page's text as typed; the window's old text when the page was not
    // opened). Created on disk when not empty.
    std::wstring folder;
    // The text differs from the one before: the window shows string 32814
    // formatted with `folder` in its status line.
    bool folderChanged = false;
    // For the downloader: its output folder (when `folder` is not empty),
    // whether titles name the files, and the retry count.
    bool useTitleAsFileName = false;
    int retryTimes = 0;
};

// The settings command: copies `folderText` (the window's output folder
// text) into OutputFolder, runs the sheet modally over `parent` and reports
// what changed. `prepare`, when given, is called with the sheet before it
// runs (tests drive it from there).
SettingsOutcome RunSettingsSheet(QWidget* parent, const std::wstring& folderText,
                                 const std::function<void(ui::SettingsSheet&)>& prepare = {});

}  // namespace ui
