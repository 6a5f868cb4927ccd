// Every settings page and the history list drawn to PNG files (test
// artefacts, in $CLIPVANE_ARTEFACTS or tests/artefacts of the build), and a
// check that no text of a settings page is cut off at the font in use.
#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>
#include <filesystem>

#include "app/helpers.h"
#include "history/history.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "ui/history_list.h"
#include "ui/settings_pages.h"
#include "ui/settings_sheet.h"
#include "ui/site_tree_panel.h"

using shelltest::ShellTest;

namespace {

QString ArtefactDir() {
    QByteArray env = qgetenv("CLIPVANE_ARTEFACTS");
    QString dir = env.isEmpty() ? QDir::currentPath() + "/artefacts" : QString::fromLocal8Bit(env);
    QDir().mkpath(dir);
    return dir;
}

// Widgets whose text is shown in one piece: labels without word wrap,
// check boxes, radio buttons and push buttons.
std::vector<std::string> CutTexts(QWidget* page) {
    std::vector<std::string> cut;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap())
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else
            continue;
        if (text.isEmpty()) continue;
        if (w->sizeHint().width() > w->width() || w->sizeHint().height() > w->height() + 2)
            cut.push_back(text.toStdString() + " needs " +
                          std::to_string(w->sizeHint().width()) + " has " +
                          std::to_string(w->width()));
    }
    return cut;
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
    CSettingsSheet sheet;
    sheet.show();
    const char* names[] = {"general", "online", "audio", "video"};
    for (int i = 0; i < sheet.Tabs()->count(); ++i) {
        sheet.Tabs()->setCurrentIndex(i);
        auto* page = static_cast<CSettingsPage*>(sheet.Tabs()->widget(i));
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
    CSitePanel panel(db, &window);
    panel.setGeometry(0, 0, 180, 472);
    ui::HistoryListView view(db, &window);
    view.setGeometry(186, 0, 522, 472);
    panel.Tree()->setCurrentItem(panel.SiteItem(1000));
    EXPECT_EQ(view.LoadSite(1000), 9);
    window.show();
    EXPECT_TRUE(window.grab().save(ArtefactDir() + "/history_list.png"));
    delete db;
}
