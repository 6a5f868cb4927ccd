// Menus and key tables built from the program's resource bundle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <filesystem>
#include <map>

#include "app/localization.h"
#include "app/settings.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/menu_builder.h"
#include "ui/bundle/translate.h"

namespace {

class Menus : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
        lang_ = "m" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        GetSettings().Update([&](SettingsData& d) { d.LangID = platform::FromUtf8(lang_); });
        file_ = platform::ToUtf8(GetLanguageFile());
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove(file_, ec);
        GetSettings().Update([&](SettingsData& d) { d.LangID = L"en"; });
        platform::ResourceBundle::Current().Unload();
    }
    // Replaces one bundle entry by other text.
    void ReplaceEntry(const std::string& name, const std::string& text) {
        std::string bytes =
            testsupport::ReadFile(std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle");
        size_t at = bytes.find("\n" + name + " ");
        ASSERT_NE(at, std::string::npos) << name;
        size_t nl = bytes.find('\n', at + 1);
        size_t size = std::stoul(bytes.substr(at + name.size() + 2, nl - at - name.size() - 2));
        bytes.replace(at + 1, nl - at + size + 1,
                      name + " " + std::to_string(text.size()) + "\n" + text + "\n");
        ASSERT_TRUE(platform::ResourceBundle::Current().LoadFromBytes(bytes));
    }

    QWidget parent_;
    std::string lang_, file_;
};

std::vector<int> Commands(const QMenu* m) {
    std::vector<int> out;
    for (QAction* a : m->actions())
        out.push_back(a->isSeparator() ? 0 : a->menu() ? -1 : ui::ActionCommand(a));
    return out;
}

}  // namespace

TEST_F(Menus, MainMenuHoldsEveryCommandWithItsKeyText) {
    QString error;
    QMenu* m = ui::BuildMenu(243, 0, &parent_, &error);
    ASSERT_NE(m, nullptr) << error.toStdString();
    EXPECT_EQ(m->parent(), &parent_);
    EXPECT_TRUE(m->property(ui::kMainMenuProperty).toBool());
    for (int id : {32783, 57637, 32854, 32855, 32835, 32836, 32779, 32780, 32791, 32849, 32850,
                   32851, 32778, 32839, 32771, 32853, 32837, 32772})
        EXPECT_NE(ui::FindCommand(m, id), nullptr) << id;
    EXPECT_EQ(ui::FindCommand(m, 32856), nullptr);
    QAction* add = ui::FindCommand(m, 32783);
    EXPECT_EQ(add->text(), "&Add Addresses...\tCtrl+N");
    EXPECT_EQ(add->property(ui::kCommandIdProperty).toInt(), 32783);
    // The language items can carry the tick of the current language.
    QAction* ja = ui::FindCommand(m, 32850);
    EXPECT_TRUE(ja->isCheckable());
    EXPECT_FALSE(ja->isChecked());
    EXPECT_NE(ja->parent(), m) << "inside the Language drop-down";
    EXPECT_EQ(Commands(m).at(3), 0) << "separators stay";
}

TEST_F(Menus, ContextMenusAreTheTwoDropDownsOf184) {
    QMenu* tasks = ui::BuildMenu(184, 0, &parent_);
    QMenu* history = ui::BuildMenu(184, 1, &parent_);
    ASSERT_TRUE(tasks && history);
    EXPECT_FALSE(tasks->property(ui::kMainMenuProperty).toBool());
    for (int id : {32835, 32855, 32856, 32831, 32832, 57642, 32796, 32828, 32829})
        EXPECT_NE(ui::FindCommand(tasks, id), nullptr) << id;
    EXPECT_EQ(Commands(history), (std::vector<int>{32774, 32857, 0, 32776}));
    QString error;
    EXPECT_EQ(ui::BuildMenu(184, 2, &parent_, &error), nullptr);
    EXPECT_EQ(error.toStdString(), "menu 184 has no drop-down 2");
    EXPECT_EQ(ui::BuildMenu(184, -1, &parent_), nullptr);
    EXPECT_EQ(ui::BuildMenu(999, 0, &parent_, &error), nullptr);
    EXPECT_EQ(error.toStdString(), "no menu 999 in the resource bundle");
}

TEST_F(Menus, TranslationRenamesItemsAndTheMainMenusDropDowns) {
    testsupport::WriteFile(file_,
                           "[MENU]\n32783=Adressen\\tStrg+N\n32850=Japanisch\nitem_12=Sprache\n"
                           "32776=Entfernen\n");
    QMenu* m = ui::BuildMenu(243, 0, &parent_);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ui::FindCommand(m, 32783)->text(), "Adressen\tStrg+N");
    QAction* lang = m->actions().at(11);
    ASSERT_NE(lang->menu(), nullptr);
    EXPECT_EQ(lang->text(), "Sprache");
    // A tick set by the window survives the translation made when the menu opens.
    QAction* ja = ui::FindCommand(m, 32850);
    ja->setChecked(true);
    TranslateMenu(m);
    EXPECT_EQ(ja->text(), "Japanisch");
    EXPECT_TRUE(ja->isChecked());
    // Context menus have no menu-bar titles, but their items are translated.
    QMenu* history = ui::BuildMenu(184, 1, &parent_);
    EXPECT_EQ(ui::FindCommand(history, 32776)->text(), "Entfernen");
}

TEST_F(Menus, MalformedMenuGivesNoMenuAndSaysWhy) {
    ReplaceEntry("menus/184.menu", "MENU 184\nPOPUP \"T\"\nITEM 5 \"x\" bold\nEND\n");
    QString error;
    EXPECT_EQ(ui::BuildMenu(184, 0, &parent_, &error), nullptr);
    EXPECT_EQ(error.toStdString(), "menu 184: line 3: unknown ITEM flag 'bold'");
    EXPECT_TRUE(parent_.findChildren<QMenu*>().isEmpty());
    ReplaceEntry("accelerators/248.acc", "ACCELERATORS 248\nKEY Ctrl+N 32783\nKEY Hyper+N 1\n");
    EXPECT_TRUE(ui::LoadAccelerators(248, &error).empty()) << "a broken table gives no keys at all";
    EXPECT_EQ(error.toStdString(),
              "accelerator table 248: line 3: 'Hyper+N' in 'Hyper+N' is not a key name");
}

TEST_F(Menus, AcceleratorTableHasExactlyTheDocumentedKeys) {
    const std::vector<std::pair<QString, int>> expected = {
        {"Ctrl+N", 32783}, {"Ctrl+V", 57637},       {"Shift+Ins", 57637}, {"Ctrl+I", 32854},
        {"Ctrl+D", 32855}, {"Ctrl+Shift+D", 32835}, {"Ctrl+.", 32836},    {"Del", 32828},
        {"Ctrl+A", 57642}, {"Ctrl+E", 32796},       {"Ctrl+O", 32779},    {"Ctrl+Shift+O", 32780},
        {"Ctrl+,", 32791}, {"Ctrl+U", 32771},       {"F1", 32778},        {"Ctrl+Q", 32772}};
    auto keys = ui::LoadAccelerators(248);
    ASSERT_EQ(keys.size(), expected.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].first,
                  QKeySequence::fromString(expected[i].first, QKeySequence::PortableText))
            << i << " " << keys[i].first.toString().toStdString();
        EXPECT_EQ(keys[i].second, expected[i].second) << i;
    }
    // Every key's command is in one of the menus, whose item shows the key.
    QMenu* m = ui::BuildMenu(243, 0, &parent_);
    QMenu* tasks = ui::BuildMenu(184, 0, &parent_);
    for (const auto& [seq, cmd] : keys) {
        QAction* a = ui::FindCommand(m, cmd);
        if (!a) a = ui::FindCommand(tasks, cmd);
        ASSERT_NE(a, nullptr) << cmd;
        EXPECT_TRUE(a->text().contains('\t')) << cmd;
    }
    EXPECT_TRUE(ui::LoadAccelerators(1).empty());

    // The help page lists every key.
    std::string help =
        testsupport::ReadFile(std::string(CLIPVANE_PROGRAM_DIR) + "/help/intro.html");
    for (const char* k : {"Ctrl+N", "Ctrl+V", "Shift+Insert", "Ctrl+I", "Ctrl+D", "Ctrl+Shift+D",
                          "Ctrl+.", "Delete", "Ctrl+A", "Ctrl+E", "Ctrl+O", "Ctrl+Shift+O",
                          "Ctrl+,", "Ctrl+U", "F1", "Ctrl+Q"})
        EXPECT_NE(help.find(k), std::string::npos) << k;
}
