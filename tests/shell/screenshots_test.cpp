// Every settings page and the history list drawn to PNG files (test
// artefacts, in $CLIPVANE_ARTEFACTS or tests/artefacts of the build), and a
// check that no text of a settings page is cut off at the font in use.
#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTabWidget>
#include <QTreeWidget>
#include <filesystem>

#include "app/helpers.h"
#include "history/history.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "support/text_fit.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"
#include "ui/shell/tips_panel.h"
#include "ui/shell/window_shell.h"

using shelltest::ShellTest;
using testsupport::CutTexts;

namespace {

QString ArtefactDir() {
    QByteArray env = qgetenv("CLIPVANE_ARTEFACTS");
    QString dir = env.isEmpty() ? QDir::currentPath() + "/artefacts" : QString::fromLocal8Bit(env);
    QDir().mkpath(dir);
    return dir;
}

}  // namespace

class Screenshots : public ShellTest {};

TEST_F(Screenshots, SettingsPagesShowEveryTextWholeAndAreSaved) {
    GetSettings().Update([](SettingsData& d) {
        d.OutputFolder = L"/home/user/Documents/Clipvane";
        d.YTUser = L"alice";
        d.YTPasswd = L"secret";
        d.RetryTimes = 3;
        d.OUT_VOLUME = -6;
        d.Fit2Width = 1;
        d.MPLAYER_VO = L"gl2";
    });
    ui::SettingsSheet sheet;
    sheet.show();
    const char* names[] = {"general", "online", "audio", "video"};
    for (int i = 0; i < sheet.Tabs()->count(); ++i) {
        sheet.Tabs()->setCurrentIndex(i);
        auto* page = static_cast<ui::SettingsPage*>(sheet.Tabs()->widget(i));
        EXPECT_TRUE(page->Loaded());
        EXPECT_EQ(CutTexts(page), std::vector<std::string>{}) << names[i];
        const QString file = ArtefactDir() + QStringLiteral("/settings_%1.png").arg(names[i]);
        EXPECT_TRUE(sheet.grab().save(file)) << file.toStdString();
    }
}

TEST_F(Screenshots, HistoryListAndSitePanelAreSaved) {
    CHistoryDb* db = nullptr;
    ASSERT_EQ(OpenHistory(db, platform::FromUtf8(dir_ / "history.db")), 1);
    const wchar_t* names[] = {L"Big Buck Bunny trailer", L"Sintel & friends",
                              L"Tears of Steel - making of", L"Elephants Dream"};
    for (int i = 0; i < 12; ++i) {
        Task t;
        t.siteKind = i < 9 ? 0 : 3;
        t.source = std::wstring(L"/home/user/Documents/Clipvane/youtube/") + names[i % 4] +
                   std::to_wstring(i) + L".flv";
        t.originAddress = L"http://www.youtube.com/watch?v=" + std::to_wstring(i);
        t.videoFormat = i % 2 ? L"flv1" : L"h264";
        t.width = 320 + 160 * (i % 3);
        t.height = 240 + 120 * (i % 3);
        t.cutEndMs = 30000 + i * 47000;
        ASSERT_EQ(AddHistoryRow(db, t), 1);
    }
    QWidget window;
    window.resize(720, 472);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(234, 236, 240));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    ui::SitePanel panel(db, &window);
    panel.setGeometry(0, 0, 180, 472);
    ui::HistoryListView view(db, &window);
    view.setGeometry(186, 0, 522, 472);
    panel.Tree()->setCurrentItem(panel.SiteItem(1000));
    EXPECT_EQ(view.LoadSite(1000), 9);
    window.show();
    EXPECT_TRUE(window.grab().save(ArtefactDir() + "/history_list.png"));
    delete db;
}

namespace {
// A window with the shell's painting and the panels of this folder in
// their places; the task list and the preview stand as empty frames.
class SkinnedWindow : public QWidget {
  public:
    SkinnedWindow() : shell_(this) { shell_.SetStatusText(QStringLiteral("Ready")); }
    ui::WindowShell& Shell() { return shell_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        shell_.Paint(p);
    }

  private:
    ui::WindowShell shell_;
};
}  // namespace

TEST_F(Screenshots, SkinnedWindowIsSaved) {
    SkinnedWindow w;
    w.setWindowTitle("Clipvane Video Downloader");
    w.resize(1100, 680);
    const int H = 680 - 95 - 33;
    ui::SitePanel panel(nullptr, &w);
    panel.setGeometry(11, 95, 180, H);
    ui::HistoryListView list(nullptr, &w);
    list.setGeometry(197, 95, 1100 - 197 - 6 - 266 - 8, H);
    QWidget preview(&w);
    preview.setGeometry(1100 - 8 - 266, 95, 266, 252);
    preview.setAutoFillBackground(true);
    QPalette pal = preview.palette();
    pal.setColor(QPalette::Window, QColor(33, 37, 44));
    preview.setPalette(pal);
    ui::TipsPanel tips(&w);
    tips.setGeometry(1100 - 8 - 266, 95 + 252 + 6, 266, H - 258);
    w.show();
    EXPECT_TRUE(w.grab().save(ArtefactDir() + "/skinned_window.png"));
}
