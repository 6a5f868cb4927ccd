// The small dialogs of the main window, built from the program's bundle.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/resource_bundle.h"
#include "ui/bundle/dialog_builder.h"

namespace {

class Layouts : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
    }
    void TearDown() override { platform::ResourceBundle::Current().Unload(); }

    template <class W>
    W* Control(QDialog& dlg, int id) {
        auto* w = qobject_cast<W*>(ui::FindControl(&dlg, id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    // Every control lies inside the dialog and no two visible ones overlap.
    static void ExpectTidy(QDialog& dlg) {
        QList<QWidget*> shown;
        for (QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(QRect(QPoint(0, 0), dlg.size()).contains(w->geometry()))
                << ui::ControlId(w) << " leaves the dialog";
            if (w->isHidden()) continue;
            for (QWidget* o : shown)
                EXPECT_FALSE(o->geometry().intersects(w->geometry()))
                    << ui::ControlId(o) << " overlaps " << ui::ControlId(w);
            shown.append(w);
        }
    }
};

}  // namespace

TEST_F(Layouts, AddAddressesHasAMultiLineFieldAndBothButtons) {
    QDialog dlg;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&dlg, 156));
    auto* edit = Control<QPlainTextEdit>(dlg, 1041);
    ASSERT_NE(edit, nullptr);
    edit->setPlainText("http://a/1\nhttp://b/2");
    EXPECT_EQ(edit->document()->blockCount(), 2);
    EXPECT_EQ(Control<QPushButton>(dlg, 1)->text(), "OK");
    EXPECT_EQ(Control<QPushButton>(dlg, 2)->text(), "Cancel");
    EXPECT_TRUE(Control<QLabel>(dlg, 1040)->wordWrap());
    EXPECT_EQ(dlg.windowTitle(), "Add Addresses");
    ExpectTidy(dlg);
}

TEST_F(Layouts, ImportHasTheSourceFieldAndBrowseButton) {
    QDialog dlg;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&dlg, 159));
    EXPECT_NE(Control<QLineEdit>(dlg, 1022), nullptr);
    EXPECT_EQ(Control<QPushButton>(dlg, 1021)->text(), "&Browse...");
    EXPECT_TRUE(Control<QPushButton>(dlg, 1)->isDefault());
    EXPECT_NE(Control<QPushButton>(dlg, 2), nullptr);
    ExpectTidy(dlg);
}

TEST_F(Layouts, AboutAndCompletionDialogs) {
    QDialog about;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&about, 100));
    for (int id : {1030, 1031, 1032}) EXPECT_NE(Control<QLabel>(about, id), nullptr);
    EXPECT_TRUE(Control<QPushButton>(about, 1)->isDefault());
    ExpectTidy(about);

    QDialog done;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&done, 161));
    auto* text = Control<QLabel>(done, 1060);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->wordWrap());
    EXPECT_TRUE(text->text().contains("finished"));
    EXPECT_TRUE(Control<QPushButton>(done, 1)->isDefault()) << "Enter confirms";
    EXPECT_NE(Control<QPushButton>(done, 2), nullptr);
    ExpectTidy(done);
}

TEST_F(Layouts, MainWindowChildrenSitWhereTheArrangementPutsThem) {
    QDialog dlg;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&dlg, 102));
    EXPECT_EQ(dlg.size(), QSize(999, 600));
    auto at = [&](int id) { return ui::FindControl(&dlg, id)->geometry(); };
    EXPECT_EQ(at(173), QRect(11, 95, 180, 472));
    EXPECT_EQ(at(1005), QRect(197, 95, 522, 472));
    EXPECT_EQ(at(1006), at(1005));
    EXPECT_EQ(at(254), QRect(725, 95, 266, 252));
    EXPECT_EQ(at(1018), QRect(725, 353, 266, 214));
    EXPECT_EQ(at(1002), QRect(11, 29, 243, 17));
    EXPECT_EQ(at(1003), QRect(8, 50, 540, 39));
    EXPECT_EQ(at(1000), QRect(928, 4, 66, 20));
    EXPECT_EQ(at(1004), QRect(928, 3, 68, 21));
    EXPECT_EQ(at(1001), QRect(0, 95, 14, 31));
    EXPECT_TRUE(ui::FindControl(&dlg, 1004)->isHidden());
}
