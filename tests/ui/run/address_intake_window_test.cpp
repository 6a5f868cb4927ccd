// Addresses coming into the window, typed, dropped, pasted, imported or
// entered in the add box: one row each, in order, and what is no address
// is told once.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

#include "../main_window_fixture.h"
#include "app/localization.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/dialogs/dialogs.h"

namespace {

using namespace windowtest;
using platform::FormatW;
using platform::FromUtf8;
using ui::kColStatus;

TEST_F(MainWindow, AddAddressRefusesOtherSchemesAndIgnoresAPendingDuplicate) {
    const std::wstring refusal = LoadText(32782);
    // No site handler takes them: refused as they are added.
    for (const wchar_t* bad :
         {L"ftp://host/file.flv", L"file:///tmp/a.mp4", L"not an address", L""}) {
        EXPECT_FALSE(Addresses().Add(bad)) << bad;
    }
    EXPECT_EQ(boxes_.Count(refusal), 4);
    EXPECT_EQ(boxes_.shown.back().flags & 0xF0, platform::MB_ICONWARNING);
    EXPECT_EQ(Model().rowCount(), 0);

    EXPECT_TRUE(Addresses().Add(L"http://www.youtube.com/watch?v=a"));
    EXPECT_FALSE(Addresses().Add(L"http://www.youtube.com/watch?v=a"));
    EXPECT_TRUE(Addresses().Add(L"http://www.youtube.com/watch?v=A"));  // case counts
    // The same video however it is written: blanks, host case, "www.".
    for (const wchar_t* same :
         {L"http://www.youtube.com/watch?v=a ", L" http://WWW.YouTube.com/watch?v=a",
          L"http://youtube.com/watch?v=a", L"HTTP://youtube.com:80/watch?v=a#t=1"})
        EXPECT_FALSE(Addresses().Add(same)) << same;
    EXPECT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(boxes_.shown.size(), 4u);  // the duplicate is ignored silently

    // Once removed, the address may come again.
    Select(0);
    Window().OnCommand(32828);
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_TRUE(Addresses().Add(L"http://www.youtube.com/watch?v=a"));
}

TEST_F(MainWindow, DroppedTextIsTakenLineByLine) {
    QMimeData link;
    link.setText("http://www.youtube.com/watch?v=dropped");
    link.setUrls({QUrl("http://www.youtube.com/watch?v=dropped")});
    Addresses().Drop(&link);
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=dropped");
    QMimeData bad;
    bad.setText("two\nlines");
    Addresses().Drop(&bad);
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(boxes_.Count(platform::FormatW(LoadText(33506).c_str(), 2, L"\ntwo\nlines")), 1);

    // The history list takes drops too; they land in the task list.
    auto* history = qobject_cast<QAbstractScrollArea*>(ui::FindControl(&Window(), 1006));
    ASSERT_NE(history, nullptr);
    QMimeData onHistory;
    onHistory.setText("http://www.youtube.com/watch?v=on-history");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &onHistory, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(history->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &onHistory, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(history->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(1)->source, L"http://www.youtube.com/watch?v=on-history");
}

TEST_F(MainWindow, AddAddressesDialogAddsEveryLineInOrder) {
    WhenOpen<ui::AddAddressesDialog>(&Window(), [](ui::AddAddressesDialog* d) {
        d->Editor()->setPlainText(
            "http://www.youtube.com/watch?v=1\n\nhttp://www.youtube.com/watch?v=2\n"
            "http://www.youtube.com/watch?v=1\n");
        d->accept();
    });
    Window().OnCommand(32783);
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=1");
    EXPECT_EQ(Model().TaskAt(1)->source, L"http://www.youtube.com/watch?v=2");
    EXPECT_EQ(boxes_.Count(LoadText(32782)), 1);  // the empty line

    // Escape cancels: nothing is added.
    WhenOpen<ui::AddAddressesDialog>(&Window(), [](ui::AddAddressesDialog* d) {
        d->Editor()->setPlainText("http://www.youtube.com/watch?v=3");
        QTest::keyClick(d, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
    });
    Window().OnCommand(32783);
    EXPECT_EQ(Model().rowCount(), 2);
}

TEST_F(MainWindow, ImportAddsEachFoundAddressOnce) {
    const std::string file = out_ / "page.html";
    testsupport::WriteFile(file,
                           "<a href=\"/watch?v=abc123\">one</a> <a "
                           "href=\"http://www.youtube.com/watch?v=abc123\">again</a>\n"
                           "<a href=\"http://video.google.com/videoplay?docid=42\">g</a>\n");
    WhenOpen<ui::ImportDialog>(&Window(), [&](ui::ImportDialog* d) {
        d->Source()->setText(QString::fromStdString(file));
        d->accept();
    });
    Window().OnCommand(32854);
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=abc123");
    EXPECT_EQ(Model().TaskAt(1)->source, L"http://video.google.com/videoplay?docid=42");
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(MainWindow, ManyPastedLinesBecomeOneRowEachAndTheRefusedOneBox) {
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += i % 2 ? "line " + std::to_string(i) + " is no address\r\n"
                      : "  http://www.youtube.com/watch?v=m" + std::to_string(i) + " \n\n";
    QApplication::clipboard()->setText(QString::fromStdString(text));
    EXPECT_TRUE(Window().IsCommandEnabled(57637));
    Window().OnCommand(57637);
    ASSERT_EQ(Model().rowCount(), 5000);
    EXPECT_EQ(Model().TaskAt(4999)->source, L"http://www.youtube.com/watch?v=m9998");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const std::wstring& box = boxes_.shown[0].text;
    EXPECT_EQ(box.rfind(L"5000 lines", 0), 0u) << platform::ToUtf8(box);
    EXPECT_NE(box.find(L"line 1 is no address"), std::wstring::npos);
    EXPECT_NE(box.find(L"line 9 is no address"), std::wstring::npos);
    EXPECT_EQ(box.find(L"line 11 is no address"), std::wstring::npos);  // the first five only
}

TEST_F(MainWindow, PasteTakesTheWholeClipboardTextAsOneAddress) {
    QApplication::clipboard()->setText("http://www.youtube.com/watch?v=p");
    EXPECT_TRUE(Window().IsCommandEnabled(57637));
    Window().OnCommand(57637);
    ASSERT_EQ(Model().rowCount(), 1);
    QApplication::clipboard()->setText("just words");
    EXPECT_FALSE(Window().IsCommandEnabled(57637));
    Window().OnCommand(57637);  // disabled: nothing happens, not even a box
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(boxes_.Count(LoadText(32782)), 0);
}

}  // namespace
