// The main window's manners on real widgets: the site panel's state across
// starts, addresses dropped on the list, and the size grip.
#include <QDropEvent>
#include <QMimeData>
#include <QTest>

#include "app/localization.h"
#include "app/messages.h"
#include "platform/hive.h"
#include "support/history_rows.h"
#include "ui/history/site_tree_panel.h"
#include "ui/main_window_fixture.h"
#include "ui/shell/window_shell.h"

namespace {

using platform::FromUtf8;

class WindowManners : public windowtest::MainWindow {
  protected:
    void SetUp() override {
        // A profile of this test's own, whatever tests ran before.
        platform::Hive::SetCurrentUserPath(dir_ / "registry.hive");
        windowtest::MainWindow::SetUp();
    }
    void TearDown() override {
        windowtest::MainWindow::TearDown();
        platform::Hive::SetCurrentUserPath("");
    }
    std::optional<uint32_t> StoredShowMM() {
        auto v = platform::Hive::CurrentUser().Query(L"Software\\Clipvane\\Setting", L"ShowMM");
        if (!v || v->bytes.size() != 4) return std::nullopt;
        return uint32_t{v->bytes[0]} | uint32_t{v->bytes[1]} << 8;
    }
    void Restart() {
        win_.reset();
        Window();
    }
    // Drags `data` onto the task list and drops it there.
    void Drop(const QMimeData& data) {
        QWidget* target = TaskView()->viewport();
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_TRUE(drop.isAccepted());
    }
    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(WindowManners, TheSitePanelStaysClosedUntilTheUserOpensItThenAsLeft) {
    ASSERT_EQ(AddHistoryRow(history_, testsupport::HistoryTask(0, L"/videos/a.flv")), 1);
    // The first start, a history with rows: closed, the narrow button shown.
    EXPECT_FALSE(SitePanelShown());
    EXPECT_FALSE(SitePanel()->isVisible());
    EXPECT_EQ(StoredShowMM(), std::nullopt);

    Window().HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    ASSERT_TRUE(SitePanel()->isVisible());
    EXPECT_EQ(StoredShowMM(), 1u) << "kept when it changes, not only at a clean close";
    Restart();
    EXPECT_TRUE(SitePanelShown());
    EXPECT_TRUE(SitePanel()->isVisible());

    Window().HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    EXPECT_EQ(StoredShowMM(), 0u);
    Window().close();
    Restart();
    EXPECT_FALSE(SitePanelShown());
}

TEST_F(WindowManners, DroppedAddressesAreTakenAndRefusedAsPastedOnes) {
    QMimeData lines;
    lines.setText(
        QStringLiteral("https://example.org/page\r\n\n  ftp://example.org/x\n"
                       "https://media.example.org/v.mp4  \nnot an address\n"));
    Drop(lines);
    ASSERT_EQ(Model().rowCount(), 2) << "one row per accepted line";
    EXPECT_EQ(Model().TaskAt(0)->source, L"https://example.org/page");
    EXPECT_EQ(Model().TaskAt(1)->source, L"https://media.example.org/v.mp4");
    ASSERT_EQ(boxes_.shown.size(), 1u) << "one box for every refused line";
    EXPECT_EQ(boxes_.shown[0].text, platform::FormatW(LoadText(33506).c_str(), 2,
                                                      L"\nftp://example.org/x\nnot an address"));

    // Links alone, as a browser may drag them.
    QMimeData links;
    links.setUrls({QUrl(QStringLiteral("http://www.youtube.com/watch?v=drop")),
                   QUrl(QStringLiteral("https://other.example/clip"))});
    Drop(links);
    ASSERT_EQ(Model().rowCount(), 4);
    EXPECT_EQ(Model().TaskAt(2)->source, L"http://www.youtube.com/watch?v=drop");
    EXPECT_EQ(Model().TaskAt(3)->source, L"https://other.example/clip");
    EXPECT_EQ(boxes_.shown.size(), 1u);

    // A single refused line is told as a pasted one is.
    QMimeData one;
    one.setText(QStringLiteral("mailto:someone@example.org"));
    Drop(one);
    EXPECT_EQ(Model().rowCount(), 4);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[1].text, LoadText(32782));
}

TEST_F(WindowManners, TheSizeGripResizesWhereverItIsDrawn) {
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const int W = w.width(), H = w.height();
    const int grip = ui::WindowShell::kGripSize;
    // No button left held by an earlier test's pointer.
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(W / 2, H - 12));
    for (int y = H - grip; y < H; ++y)
        for (int x = W - grip; x < W; ++x) {
            ASSERT_EQ(w.childAt(x, y), nullptr) << "covered at " << x << "," << y;
            QTest::mouseMove(&w, QPoint(x, y));
            ASSERT_EQ(w.cursor().shape(), Qt::SizeFDiagCursor) << x << "," << y;
        }
    QTest::mouseMove(&w, QPoint(W / 2, H - 12));
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
}
