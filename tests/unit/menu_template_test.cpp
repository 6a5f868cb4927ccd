// Menu and accelerator-table texts of the resource bundle.
#include <gtest/gtest.h>

#include "platform/menu_template.h"
#include "platform/resource_bundle.h"

using platform::MenuItemTemplate;
using Kind = platform::MenuItemTemplate::Kind;

TEST(MenuTemplateText, NestedDropDownsFlagsAndEscapes) {
    std::string error;
    auto m = platform::ParseMenuTemplate(
        "# main\r\nMENU 243\r\nPOPUP \"Menu\"\n  ITEM 7 \"&Add \\\"x\\\"\\tCtrl+N\"\n"
        "  SEPARATOR\n  POPUP \"Lang\"\n    ITEM 8 \"En\" checked\n    ITEM 9 \"Ja\" check "
        "disabled\n    POPUP \"Deep\"\n      ITEM 65535 \"\\\\\"\n    END\n  END\n"
        "  ITEM 10 \"\\u65e5\"\nEND\nPOPUP \"Second\"\nEND\n",
        &error);
    EXPECT_FALSE(m) << "\\u is no escape of the format";
    EXPECT_EQ(error, "line 13: unknown escape \\u");

    m = platform::ParseMenuTemplate(
        "# main\r\nMENU 243\r\nPOPUP \"Menu\"\n  ITEM 7 \"&Add \\\"x\\\"\\tCtrl+N\"\n"
        "  SEPARATOR\n  POPUP \"Lang\"\n    ITEM 8 \"En\" checked\n    ITEM 9 \"Ja\" check "
        "disabled\n    POPUP \"Deep\"\n      ITEM 65535 \"\\\\\"\n    END\n  END\n"
        "  ITEM 10 \"\xe6\x97\xa5\"\nEND\nPOPUP \"Second\"\nEND\n",
        &error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->id, 243);
    ASSERT_EQ(m->popups.size(), 2u);
    const auto& top = m->popups[0].children;
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0].command, 7);
    EXPECT_EQ(top[0].text, L"&Add \"x\"\tCtrl+N");
    EXPECT_EQ(top[1].kind, Kind::Separator);
    EXPECT_EQ(top[2].kind, Kind::Popup);
    EXPECT_EQ(top[2].text, L"Lang");
    const auto& lang = top[2].children;
    ASSERT_EQ(lang.size(), 3u);
    EXPECT_TRUE(lang[0].checkable && lang[0].checked && !lang[0].disabled);
    EXPECT_TRUE(lang[1].checkable && !lang[1].checked && lang[1].disabled);
    EXPECT_EQ(lang[2].children.at(0).text, L"\\");
    EXPECT_EQ(lang[2].children.at(0).command, 65535);
    EXPECT_EQ(top[3].text, L"\u65e5");
    EXPECT_TRUE(m->popups[1].children.empty());
}

TEST(MenuTemplateText, MalformedMenusAreRefusedWithTheLineAndReason) {
    const std::string head = "MENU 1\nPOPUP \"P\"\n";
    struct Case {
        std::string text, error;
    } cases[] = {
        {"", "no MENU line"},
        {"# only a comment\n", "no MENU line"},
        {"MENU 1\n", "the menu has no POPUP"},
        {"MENU 0\n", "line 1: MENU needs one number above 0"},
        {"MENU 1\nMENU 2\n", "line 2: a second MENU line"},
        {"POPUP \"P\"\nEND\n", "line 1: items before the MENU line"},
        {"MENU 1\nITEM 5 \"x\"\n", "line 2: ITEM outside a POPUP"},
        {"MENU 1\nSEPARATOR\n", "line 2: SEPARATOR outside a POPUP"},
        {head, "a POPUP is not closed by END"},
        {head + "END\nEND\n", "line 4: END without its POPUP"},
        {head + "ITEM 0 \"x\"\nEND\n",
         "line 3: ITEM needs a command from 1 to 65535 and a quoted text"},
        {head + "ITEM 65536 \"x\"\nEND\n",
         "line 3: ITEM needs a command from 1 to 65535 and a quoted text"},
        {head + "ITEM 5 x\nEND\n",
         "line 3: ITEM needs a command from 1 to 65535 and a quoted text"},
        {head + "ITEM 5\nEND\n", "line 3: ITEM needs a command from 1 to 65535 and a quoted text"},
        {head + "ITEM 5 \"open\nEND\n", "line 3: text without its closing quote"},
        {head + "ITEM 5 \"a\"\"b\"\nEND\n", "line 3: no space after a quoted text"},
        {head + "ITEM 5 \"x\" grey\nEND\n", "line 3: unknown ITEM flag 'grey'"},
        {head + "ITEM 5 \"x\" check check\nEND\n", "line 3: ITEM flag 'check' given twice"},
        {head + "SEPARATOR x\nEND\n", "line 3: SEPARATOR takes nothing after it"},
        {head + "END now\n", "line 3: END takes nothing after it"},
        {"MENU 1\nPOPUP P\nEND\n", "line 2: POPUP needs one quoted text"},
        {head + "MENUITEM 5 \"x\"\nEND\n", "line 3: unknown line 'MENUITEM'"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(platform::ParseMenuTemplate(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    // Nesting is bounded, so a hostile file cannot run the builder deep.
    std::string deep = "MENU 1\n";
    for (int i = 0; i < 9; ++i) deep += "POPUP \"p\"\n";
    std::string error;
    EXPECT_FALSE(platform::ParseMenuTemplate(deep, &error));
    EXPECT_EQ(error, "line 10: drop-downs nested too deep");
    // Without an error text the refusal still works.
    EXPECT_FALSE(platform::ParseMenuTemplate("MENU x\n"));
}

TEST(AcceleratorTableText, ModifiersKeysAndRefusals) {
    std::string error;
    auto t = platform::ParseAcceleratorTable(
        "ACCELERATORS 248\nKEY Ctrl+Shift+D 32835\nKEY Shift+Insert 57637\nKEY Ctrl+. 32836\n"
        "KEY Ctrl++ 1\nKEY F12 2\nKEY Alt+Delete 3\nKEY Ctrl+V 57637\n",
        &error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->id, 248);
    ASSERT_EQ(t->entries.size(), 7u);
    const auto& d = t->entries[0];
    EXPECT_TRUE(d.ctrl && d.shift && !d.alt);
    EXPECT_EQ(d.key, "D");
    EXPECT_EQ(d.command, 32835);
    EXPECT_EQ(t->entries[2].key, ".");
    EXPECT_EQ(t->entries[3].key, "+");
    EXPECT_TRUE(t->entries[3].ctrl);
    EXPECT_EQ(t->entries[4].key, "F12");
    EXPECT_TRUE(t->entries[5].alt && !t->entries[5].ctrl);

    struct Case {
        std::string text, error;
    } cases[] = {
        {"KEY Ctrl+N 1\n", "line 1: KEY before the ACCELERATORS line"},
        {"", "no ACCELERATORS line"},
        {"ACCELERATORS 1\nACCELERATORS 2\n", "line 2: a second ACCELERATORS line"},
        {"ACCELERATORS 1\nKEY Ctrl+n 1\n", "line 2: 'n' in 'Ctrl+n' is not a key name"},
        {"ACCELERATORS 1\nKEY Control+N 1\n",
         "line 2: 'Control+N' in 'Control+N' is not a key name"},
        {"ACCELERATORS 1\nKEY Ctrl+ 1\n", "line 2: 'Ctrl+' in 'Ctrl+' is not a key name"},
        {"ACCELERATORS 1\nKEY F0 1\n", "line 2: 'F0' in 'F0' is not a key name"},
        {"ACCELERATORS 1\nKEY F25 1\n", "line 2: 'F25' in 'F25' is not a key name"},
        {"ACCELERATORS 1\nKEY F01 1\n", "line 2: 'F01' in 'F01' is not a key name"},
        {"ACCELERATORS 1\nKEY Ctrl+Ctrl+N 1\n", "line 2: a modifier given twice in 'Ctrl+Ctrl+N'"},
        {"ACCELERATORS 1\nKEY Ctrl+N\n", "line 2: KEY needs keys and a command from 1 to 65535"},
        {"ACCELERATORS 1\nKEY Ctrl+N 0\n", "line 2: KEY needs keys and a command from 1 to 65535"},
        {"ACCELERATORS 1\nKEY \"Ctrl+N\" 5\n",
         "line 2: KEY needs keys and a command from 1 to 65535"},
        {"ACCELERATORS 1\nKEY Ctrl+N 1\nKEY Ctrl+N 2\n", "line 3: 'Ctrl+N' is given twice"},
        {"ACCELERATORS 1\nBIND Ctrl+N 1\n", "line 2: unknown line 'BIND'"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(platform::ParseAcceleratorTable(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(MenuTemplateText, ShippedMenusAndKeysParse) {
    platform::ResourceBundle b;
    ASSERT_TRUE(b.Load(std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle"));
    for (unsigned id : {243u, 184u}) {
        ASSERT_TRUE(b.Menu(id)) << id;
        std::string error;
        auto m = platform::ParseMenuTemplate(*b.Menu(id), &error);
        ASSERT_TRUE(m) << id << ": " << error;
        EXPECT_EQ(m->id, static_cast<int>(id));
    }
    EXPECT_EQ(platform::ParseMenuTemplate(*b.Menu(184))->popups.size(), 2u);
    ASSERT_TRUE(b.Accelerators(248));
    std::string error;
    auto t = platform::ParseAcceleratorTable(*b.Accelerators(248), &error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->id, 248);
}
