// The site panel and the history list over a real history database.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "app/helpers.h"
#include "app/localization.h"
#include "app/messages.h"
#include "download/site_helpers.h"
#include "history/history.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "support/history_rows.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/tasklist/task_list_model.h"

namespace fs = std::filesystem;
using shelltest::ShellTest;

namespace {

class SiteHistory : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_EQ(OpenHistory(db_, platform::FromUtf8(dir_ / "history.db")), 1);
    }
    void TearDown() override {
        delete db_;
        ShellTest::TearDown();
    }
    // A history row of `kind` for file `path`.
    void AddRow(int kind, const std::wstring& path, const std::wstring& page = L"") {
        ASSERT_EQ(AddHistoryRow(db_, testsupport::HistoryTask(kind, path, page)), 1);
    }
    CHistoryDb* db_ = nullptr;
};

bool Bold(QTreeWidgetItem* item) {
    return item->font(0).bold();
}

std::time_t LocalTime(int year, int mon, int day, int h, int m, int s) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = day;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

std::unique_ptr<Task> DatedTask(const std::wstring& date) {
    auto t = std::make_unique<Task>();
    t->source = L"/v/a.flv";
    t->historyDateText = date;
    return t;
}

}  // namespace

TEST_F(SiteHistory, SiteCountsArePlainWhenEmptyAndBoldWithRows) {
    for (int i = 0; i < 12; ++i) AddRow(0, L"/videos/yt" + std::to_wstring(i) + L".flv");
    AddRow(3, L"/videos/nico.flv");
    ui::SitePanel panel(db_);
    QTreeWidgetItem* yt = panel.SiteItem(1000);
    QTreeWidgetItem* google = panel.SiteItem(1001);
    QTreeWidgetItem* nico = panel.SiteItem(1003);
    ASSERT_TRUE(yt && google && nico);
    EXPECT_EQ(yt->text(0), "YouTube (12)");
    EXPECT_TRUE(Bold(yt));
    EXPECT_EQ(google->text(0), "Google Video");
    EXPECT_FALSE(Bold(google));
    EXPECT_EQ(nico->text(0), ui::ToQ(LoadText(32892)) + " (1)");
    EXPECT_EQ(panel.FirstRoot()->text(0), ui::ToQ(LoadText(32823)));
    EXPECT_TRUE(Bold(panel.FirstRoot()));
    EXPECT_TRUE(panel.SecondRoot()->isExpanded());
    // Images cut from the strip, red made transparent.
    const QImage tasks = panel.FirstRoot()->icon(0).pixmap(16, 16).toImage();
    ASSERT_FALSE(tasks.isNull());
    EXPECT_EQ(qAlpha(tasks.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(tasks.pixel(8, 8)), 255);
    // The four sites, then "Other sites".
    EXPECT_EQ(panel.SecondRoot()->childCount(), 5);

    // A new row counts on message 5030.
    AddRow(1, L"/videos/g.flv");
    EXPECT_EQ(google->text(0), "Google Video");
    panel.HandleMessage(WM_HISTORY_CHANGED);
    EXPECT_EQ(google->text(0), "Google Video (1)");
    EXPECT_TRUE(Bold(google));
}

TEST_F(SiteHistory, WithoutADatabaseEverySiteIsPlain) {
    ui::SitePanel panel(nullptr);
    for (int v = 1000; v <= 1003; ++v) EXPECT_FALSE(Bold(panel.SiteItem(v)));
    EXPECT_EQ(panel.SiteItem(1002)->text(0), "MetaCafe");
}

TEST_F(SiteHistory, ChoosingItemsAndButtonsAsksTheMainWindow) {
    ui::SitePanel panel(db_);
    QSignalSpy posts(&panel, &ui::SitePanel::postMessage);
    QSignalSpy commands(&panel, &ui::SitePanel::command);
    panel.Tree()->setCurrentItem(panel.SecondRoot());
    panel.Tree()->setCurrentItem(panel.SiteItem(1002));
    panel.Tree()->setCurrentItem(panel.FirstRoot());
    ASSERT_EQ(posts.count(), 3);
    EXPECT_EQ(posts[0][0].toUInt(), unsigned(WM_SHOW_HISTORY_LIST));
    EXPECT_EQ(static_cast<intptr_t>(posts[0][1].value<quintptr>()), -1);
    EXPECT_EQ(posts[1][0].toUInt(), unsigned(WM_SHOW_HISTORY_LIST));
    EXPECT_EQ(posts[1][1].value<quintptr>(), 1002u);
    EXPECT_EQ(posts[2][0].toUInt(), unsigned(WM_SHOW_TASK_LIST));

    panel.Tree()->setCurrentItem(panel.SiteItem(1000));
    posts.clear();
    panel.SelectFirstRoot();
    EXPECT_EQ(posts.count(), 0);
    EXPECT_EQ(panel.Tree()->currentItem(), panel.FirstRoot());

    panel.OnButtonCode(0);
    panel.OnButtonCode(1);
    panel.OnButtonCode(2);
    panel.OnButtonCode(9);
    ASSERT_EQ(posts.count(), 1);
    EXPECT_EQ(posts[0][0].toUInt(), unsigned(WM_TOGGLE_SITE_PANEL));
    ASSERT_EQ(commands.count(), 2);
    EXPECT_EQ(commands[0][0].toInt(), 32779);
    EXPECT_EQ(commands[1][0].toInt(), 32791);
}

TEST_F(SiteHistory, HistoryDatesShowDateAndTimeEmptyWhenUnreadable) {
    std::tm nowTm{};
    std::time_t real = std::time(nullptr);
    localtime_r(&real, &nowTm);
    const std::wstring y = std::to_wstring(nowTm.tm_year + 1900);

    ui::HistoryListModel model;
    std::vector<std::unique_ptr<Task>> rows;
    rows.push_back(DatedTask(L"June 15, " + y + L" 09:05:00"));
    rows.push_back(DatedTask(L"December 07, 2008 14:05:09"));
    rows.push_back(DatedTask(L"dec 7, 2008"));
    rows.push_back(DatedTask(L"Smarch 03, 2008 14:05:09"));
    rows.push_back(DatedTask(L"February 30, 2008 10:00:00"));
    rows.push_back(DatedTask(L""));
    rows.push_back(DatedTask(L"2008-12-07 14:05:09"));
    model.Reset(std::move(rows));
    auto date = [&](int r) {
        return model.index(r, ui::HistoryListModel::kDate).data().toString();
    };
    EXPECT_EQ(date(0), ui::ToQ(y) + "-06-15 09:05") << "this year's rows keep their year and time";
    EXPECT_EQ(date(1), "2008-12-07 14:05");
    EXPECT_EQ(date(2), "2008-12-07 00:00");
    for (int r = 3; r < 7; ++r) EXPECT_EQ(date(r), "") << r;
}

TEST(HistoryDate, ParsesTheStoredFormatOnly) {
    std::time_t t = 0;
    ASSERT_TRUE(ui::ParseHistoryDate(L"December 07, 2008 14:05:09", t));
    EXPECT_EQ(t, LocalTime(2008, 12, 7, 14, 5, 9));
    EXPECT_TRUE(ui::ParseHistoryDate(L"dec 7, 2008", t));
    EXPECT_EQ(t, LocalTime(2008, 12, 7, 0, 0, 0));
    EXPECT_FALSE(ui::ParseHistoryDate(L"December 07, 2008 25:05:09", t));
    EXPECT_FALSE(ui::ParseHistoryDate(L"December 07, 08 14:05:09", t));
    EXPECT_FALSE(ui::ParseHistoryDate(L"December 07, 2008 14:05:09 junk", t));
    EXPECT_FALSE(ui::ParseHistoryDate(L"December", t));
}

TEST_F(SiteHistory, RowsShowNameDurationFormatSizeAndPageTooltip) {
    AddRow(0, L"/videos/Tom & Jerry.v1.flv", L"http://www.youtube.com/watch?v=abc");
    ui::HistoryListView view(db_);
    ASSERT_EQ(view.LoadSite(1000), 1);
    auto cell = [&](int c, int role = Qt::DisplayRole) {
        return view.model()->index(0, c).data(role);
    };
    EXPECT_EQ(cell(0).toString(), "Tom & Jerry.v1");
    EXPECT_EQ(cell(0, Qt::ToolTipRole).toString(), "http://www.youtube.com/watch?v=abc\n/videos");
    EXPECT_EQ(cell(3, Qt::ToolTipRole).toString(), "/videos") << "every cell tells the folder";
    EXPECT_EQ(cell(1).toString(), ui::ToQ(FormatDuration(65000)));
    EXPECT_EQ(cell(2).toString(), "FLV1");
    EXPECT_EQ(cell(3).toString(), "320x240");
    EXPECT_FALSE(cell(4).toString().isEmpty());
    EXPECT_EQ(cell(2, Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter, int(Qt::AlignHCenter));
    EXPECT_EQ(view.model()->headerData(0, Qt::Horizontal).toString(), ui::ToQ(LoadText(32803)));
    EXPECT_EQ(view.model()->headerData(4, Qt::Horizontal).toString(), ui::ToQ(LoadText(32802)));

    // The second root and unknown values: an empty list.
    EXPECT_EQ(view.LoadSite(-1), 0);
    EXPECT_EQ(view.LoadSite(1001), 0);
    EXPECT_EQ(view.LoadSite(1004), 0);
}

TEST_F(SiteHistory, HiddenAndReorderingCharactersAreShownAsSuch) {
    AddRow(0, L"/videos/sm9\u202Eevil.exe.flv", L"http://www.youtube.com/watch?v=a\u200Bb\u2066");
    ui::HistoryListView view(db_);
    ASSERT_EQ(view.LoadSite(1000), 1);
    const QModelIndex name = view.model()->index(0, 0);
    EXPECT_EQ(name.data().toString(), QString::fromStdWString(L"sm9\uFFFDevil.exe"));
    EXPECT_EQ(name.data(Qt::ToolTipRole).toString(),
              QString::fromStdWString(L"http://www.youtube.com/watch?v=a\uFFFDb\uFFFD\n/videos"));
}

TEST_F(SiteHistory, ARowIsPreviewedWhenSelectedAndPlayedWhenActivated) {
    AddRow(0, L"/videos/a.flv");
    AddRow(0, L"/videos/b.flv");
    ui::HistoryListView view(db_);
    view.resize(500, 300);
    view.show();
    ASSERT_EQ(view.LoadSite(1000), 2);
    QSignalSpy preview(&view, &ui::HistoryListView::previewTask);
    QSignalSpy play(&view, &ui::HistoryListView::playTask);

    view.setFocus();
    view.setCurrentIndex(view.model()->index(1, 0));
    ASSERT_FALSE(preview.isEmpty());
    Task* second = view.Model()->TaskAt(1);
    EXPECT_EQ(preview.last()[0].value<Task*>(), second);
    EXPECT_EQ(second->cutEndMs, second->durationMs) << "the preview marks the whole file";
    view.clearSelection();
    EXPECT_EQ(preview.last()[0].value<Task*>(), nullptr);

    // Double-click or Enter plays the row.
    const QRect r = view.visualRect(view.model()->index(0, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(play.size(), 1);
    EXPECT_EQ(play.last()[0].value<Task*>(), view.Model()->TaskAt(0));
    view.setCurrentIndex(view.model()->index(1, 0));
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_EQ(play.size(), 2);
    EXPECT_EQ(play.last()[0].value<Task*>(), second);
}

TEST_F(SiteHistory, ColumnsShareTheWidth) {
    ui::HistoryListView view(nullptr);
    view.resize(522, 300);
    view.FitColumns();
    const int base = 500;
    EXPECT_EQ(view.header()->sectionSize(0), base * 32 / 100);
    EXPECT_EQ(view.header()->sectionSize(1), base * 12 / 100);
    EXPECT_EQ(view.header()->sectionSize(2), base * 11 / 100);
    EXPECT_EQ(view.header()->sectionSize(3), base * 14 / 100);
    EXPECT_EQ(view.header()->sectionSize(4), base - 160 - 60 - 55 - 70 - 2);
}

TEST_F(SiteHistory, RemovingRowsDeletesThemFromHistoryAndRecounts) {
    const std::string kept = dir_ / "kept.flv";
    testsupport::WriteFile(kept, "x");
    AddRow(0, platform::FromUtf8(kept));
    AddRow(0, platform::FromUtf8(kept));  // downloaded twice to the same path
    AddRow(0, L"/videos/b.flv");
    AddRow(0, L"/videos/c.flv");
    ui::SitePanel panel(db_);
    ui::HistoryListView view(db_);
    // Loading, removing and loading again keep the model's promises to its views.
    QAbstractItemModelTester tester(view.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QObject::connect(&view, &ui::HistoryListView::historyRemoved, &panel, &ui::SitePanel::Recount);
    QSignalSpy removing(&view, &ui::HistoryListView::taskRemoving);
    ASSERT_EQ(view.LoadSite(1000), 4);
    EXPECT_FALSE(view.IsCommandEnabled(ui::HistoryListView::kRemove));
    EXPECT_FALSE(view.RunCommand(ui::HistoryListView::kRemove));

    view.selectionModel()->select(view.model()->index(0, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->select(view.model()->index(3, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(view.RunCommand(ui::HistoryListView::kRemove));
    // Both rows of the twice-downloaded path go, from the list too; the file stays.
    EXPECT_EQ(removing.count(), 3);
    EXPECT_EQ(view.Model()->RowCount(), 1);
    EXPECT_EQ(CountHistory(db_, L"YOUTUBE"), 1);
    EXPECT_EQ(panel.SiteItem(1000)->text(0), "YouTube (1)");
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_EQ(view.LoadSite(1000), 1);
    EXPECT_EQ(view.LoadSite(1001), 0);
}

TEST_F(SiteHistory, ShowInFolderAndSourcePageNeedOneUsableRow) {
    const std::string file = dir_ / "here.flv";
    testsupport::WriteFile(file, "x");
    AddRow(0, platform::FromUtf8(file), L"http://www.youtube.com/watch?v=1");
    AddRow(0, L"/no/such/file.flv", L"not an address");
    ui::HistoryListView view(db_);
    std::vector<std::wstring> shown, opened;
    view.SetDesktop({[&](const std::wstring& p) {
                         shown.push_back(p);
                         return true;
                     },
                     [&](const std::wstring& u) {
                         opened.push_back(u);
                         return true;
                     }});
    ASSERT_EQ(view.LoadSite(1000), 2);
    auto select = [&](int row) {
        view.selectionModel()->select(
            view.model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    select(1);
    EXPECT_FALSE(view.RunCommand(ui::HistoryListView::kShowInFolder));
    EXPECT_FALSE(view.RunCommand(ui::HistoryListView::kOpenSourcePage));
    select(0);
    EXPECT_TRUE(view.RunCommand(ui::HistoryListView::kShowInFolder));
    EXPECT_TRUE(view.RunCommand(ui::HistoryListView::kOpenSourcePage));
    EXPECT_EQ(shown, std::vector<std::wstring>{platform::FromUtf8(file)});
    EXPECT_EQ(opened, std::vector<std::wstring>{L"http://www.youtube.com/watch?v=1"});
    // Two rows selected: neither command.
    view.selectAll();
    EXPECT_FALSE(view.IsCommandEnabled(ui::HistoryListView::kShowInFolder));
    EXPECT_FALSE(view.IsCommandEnabled(ui::HistoryListView::kOpenSourcePage));

    // The context menu's items follow the same rules.
    QMenu menu;
    for (int id : {32774, 32857, 32776}) {
        QAction* a = menu.addAction(QString::number(id));
        a->setProperty(ui::kCommandIdProperty, id);
    }
    view.PrepareMenu(&menu);
    EXPECT_FALSE(menu.actions()[0]->isEnabled());
    EXPECT_FALSE(menu.actions()[1]->isEnabled());
    EXPECT_TRUE(menu.actions()[2]->isEnabled());
}

TEST_F(SiteHistory, DroppedFilesAndTextGoToTheMainWindow) {
    ui::HistoryListView view(db_);
    view.resize(400, 300);
    view.show();
    QSignalSpy files(&view, &ui::HistoryListView::filesDropped);
    QSignalSpy texts(&view, &ui::HistoryListView::textDropped);

    QMimeData two;
    two.setUrls({QUrl::fromLocalFile("/v/one.flv"), QUrl::fromLocalFile("/v/two.mp4")});
    two.setText("/v/one.flv\n/v/two.mp4");
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &two, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &two, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    ASSERT_EQ(files.count(), 1);
    EXPECT_EQ(files[0][0].toStringList(), (QStringList{"/v/one.flv", "/v/two.mp4"}));
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);

    QMimeData text;
    text.setText("http://www.youtube.com/watch?v=x");
    QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton,
                              Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &textEnter);
    QDropEvent textDrop(QPointF(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &textDrop);
    ASSERT_EQ(texts.count(), 1);
    EXPECT_EQ(texts[0][0].toString(), "http://www.youtube.com/watch?v=x");
    EXPECT_EQ(files.count(), 1);
}

TEST_F(SiteHistory, LanguageChangeRereadsTitles) {
    ui::SitePanel panel(db_);
    panel.FirstRoot()->setText(0, "stale");
    QEvent e(ui::kLanguageChangedEvent);
    QApplication::sendEvent(&panel, &e);
    EXPECT_EQ(panel.FirstRoot()->text(0), ui::ToQ(LoadText(32823)));
}

TEST_F(SiteHistory, OtherSitesHoldOneItemPerHostWithItsCountAndList) {
    AddRow(kSiteOther, L"/out/media.example.org/a.mp4", L"https://www.media.example.org/a");
    AddRow(kSiteOther, L"/out/media.example.org/b.mp4", L"https://media.example.org/b.mp4");
    AddRow(kSiteOther, L"/out/o'brien.example/c.mp4", L"http://o'brien.example:8080/c");
    AddRow(0, L"/videos/yt.flv");
    ui::SitePanel panel(db_);
    QTreeWidgetItem* other = panel.OtherSitesItem();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->parent(), panel.SecondRoot());
    EXPECT_EQ(other->text(0), "Other sites");
    EXPECT_TRUE(Bold(other));
    ASSERT_EQ(other->childCount(), 2);
    QTreeWidgetItem* media = panel.HostItem(L"media.example.org");
    ASSERT_NE(media, nullptr);
    EXPECT_EQ(media->text(0), "media.example.org (2)");
    EXPECT_EQ(panel.HostItem(L"o'brien.example")->text(0), "o'brien.example (1)");
    EXPECT_EQ(panel.SiteItem(1000)->text(0), "YouTube (1)");

    // Choosing a host asks for its list, which holds its rows alone.
    QSignalSpy posts(&panel, &ui::SitePanel::postMessage);
    panel.Tree()->setCurrentItem(media);
    ASSERT_EQ(posts.count(), 1);
    const int value = static_cast<int>(posts[0][1].value<quintptr>());
    EXPECT_EQ(panel.HostOfValue(value), L"media.example.org");
    ui::HistoryListView view(db_);
    EXPECT_EQ(view.LoadProfile(panel.HostOfValue(value)), 2);
    EXPECT_EQ(view.LoadProfile(L"o'brien.example"), 1);
    EXPECT_EQ(view.LoadSite(panel.OtherSitesItem()->data(0, Qt::UserRole).toInt()), 0);

    // The shown host keeps its item, plain, when its rows go; another host
    // without rows leaves the tree. Nothing is announced meanwhile.
    for (const wchar_t* f : {L"/out/media.example.org/a.mp4", L"/out/media.example.org/b.mp4",
                             L"/out/o'brien.example/c.mp4"}) {
        Task t;
        t.source = f;
        ASSERT_EQ(DeleteHistoryRow(db_, t), 1);
    }
    posts.clear();
    panel.Recount();
    EXPECT_EQ(posts.count(), 0);
    ASSERT_EQ(other->childCount(), 1);
    EXPECT_EQ(panel.Tree()->currentItem(), panel.HostItem(L"media.example.org"));
    EXPECT_EQ(panel.HostItem(L"media.example.org")->text(0), "media.example.org");
    EXPECT_EQ(panel.HostItem(L"o'brien.example"), nullptr);
    EXPECT_FALSE(Bold(other));
    // A new host gets a value of its own; the old ones keep theirs.
    AddRow(kSiteOther, L"/out/new.example/d.mp4", L"https://new.example/d.mp4");
    panel.Recount();
    EXPECT_EQ(panel.HostOfValue(value), L"media.example.org");
    ASSERT_NE(panel.HostItem(L"new.example"), nullptr);
    EXPECT_NE(panel.HostItem(L"new.example")->data(0, Qt::UserRole).toInt(), value);
    // A host name that would reorder itself (kept so by an older history or
    // by hand) shows the hidden character.
    AddRow(kSiteOther, L"/out/x/e.mp4", L"https://sm9evil.example/e.mp4");
    const std::string reordering = platform::ToUtf8(L"sm9\u202Eevil.example");
    const std::string set = "UPDATE history SET profile_name = '" + reordering + "' ";
    db_->execDML((set + "WHERE profile_name = 'sm9evil.example';").c_str());
    panel.Recount();
    QTreeWidgetItem* odd = panel.HostItem(L"sm9\u202Eevil.example");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->text(0), QString::fromStdWString(L"sm9\uFFFDevil.example (1)"));
    EXPECT_EQ(odd->toolTip(0), QString::fromStdWString(L"sm9\uFFFDevil.example"));
}

TEST(ShownText, TaskListCellsShowHiddenCharacters) {
    ui::TaskListModel model;
    auto task = std::make_unique<Task>();
    task->source = L"http://www.youtube.com/watch?v=\u202Eevil";
    task->onlinePending = 1;
    const int row = model.AppendTask(std::move(task));
    const QString address = QString::fromStdWString(L"http://www.youtube.com/watch?v=\u202Eevil");
    const QString shown = QString::fromStdWString(L"http://www.youtube.com/watch?v=\uFFFDevil");
    EXPECT_EQ(model.index(row, ui::kColName).data().toString(), shown);
    EXPECT_EQ(model.index(row, ui::kColName).data(Qt::ToolTipRole).toString(), shown);
    EXPECT_EQ(model.CellText(row, ui::kColName), address) << "the text itself stays as it came";
    // A title from the page is shown the same way.
    model.SetTitle(row, L"The server a\u200Db answered");
    EXPECT_EQ(model.index(row, ui::kColName).data().toString(),
              QString::fromStdWString(L"The server a\uFFFDb answered"));
}
