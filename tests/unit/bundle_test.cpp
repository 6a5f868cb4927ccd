// The resource bundle file and the dialog layouts in it.
#include <gtest/gtest.h>

#include "platform/dialog_template.h"
#include "platform/resource_bundle.h"
#include "support/process_harness.h"

using platform::ResourceBundle;

TEST(ResourceBundleFile, PackedEntriesLoadBackAndDamageIsRefused) {
    std::string bytes = ResourceBundle::Pack({{"strings.txt", "# c\n103=a\\nb\\\\c\\x\n7=\n"},
                                              {"dialogs/5.dlg", "DIALOG 5 1 2 \"x\"\n"},
                                              {"bitmaps/9.png", std::string("\0\n\x89PNG", 6)}});
    ResourceBundle b;
    ASSERT_TRUE(b.LoadFromBytes(bytes));
    EXPECT_EQ(b.String(103), L"a\nb\\c\\x");
    EXPECT_TRUE(b.HasString(7));
    EXPECT_EQ(b.String(8), L"");
    EXPECT_EQ(b.Bitmap(9)->size(), 6u);
    EXPECT_FALSE(b.Bitmap(10));

    // Every cut of the file is refused, and refusal leaves nothing loaded.
    for (size_t cut = 0; cut < bytes.size(); cut += 3) {
        ResourceBundle c;
        EXPECT_FALSE(c.LoadFromBytes(bytes.substr(0, cut))) << cut;
        EXPECT_FALSE(c.IsLoaded());
        EXPECT_EQ(c.String(103), L"");
    }
    std::string wrongSize = bytes;
    wrongSize.replace(wrongSize.find("dialogs/5.dlg 17"), 16, "dialogs/5.dlg 99");
    EXPECT_FALSE(b.LoadFromBytes(wrongSize));
    EXPECT_FALSE(b.Load("/nonexistent/cvres.bundle"));
    EXPECT_FALSE(b.Load("/"));
}

TEST(ResourceBundleFile, ShippedBundleHasTheStringTableAndMainDialog) {
    ResourceBundle b;
    ASSERT_TRUE(b.Load(std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle"));
    for (unsigned id : {101u, 103u, 261u, 309u, 32782u, 32805u, 32822u, 32827u, 32876u})
        EXPECT_TRUE(b.HasString(id)) << id;
    EXPECT_TRUE(b.Icon(1009));
    auto dlg = platform::ParseDialogTemplate(*b.Dialog(102));
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->width, 999);
    EXPECT_EQ(dlg->caption, L"Clipvane Video Downloader");
}

TEST(DialogTemplateText, ParsesQuotedTextsAndRefusesMalformedLines) {
    auto d = platform::ParseDialogTemplate(
        "# layout\nDIALOG 7 10 20 \"Say \\\"hi\\\"\"\n  CONTROL 1 static 1 2 3 4 \"a\\nb\" "
        "hidden\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->caption, L"Say \"hi\"");
    ASSERT_EQ(d->controls.size(), 1u);
    EXPECT_EQ(d->controls[0].text, L"a\nb");
    EXPECT_TRUE(d->controls[0].hidden);
    for (const char* bad :
         {"", "CONTROL 1 static 1 2 3 4 \"\"\n", "DIALOG 7 10 20 \"open\n", "DIALOG 7 x 20 \"\"\n",
          "DIALOG 7 1 2 \"\"\nCONTROL 1 a 1 2 3 4 \"\" shown\n",
          "DIALOG 7 1 2 \"\"\nDIALOG 8 1 2 \"\"\n", "WINDOW 1\n"})
        EXPECT_FALSE(platform::ParseDialogTemplate(bad)) << bad;
}

TEST(DialogTemplateText, ControlFlagsEachAtMostOnce) {
    auto d = platform::ParseDialogTemplate(
        "DIALOG 7 10 20 \"\"\nCONTROL 1 button 1 2 3 4 \"OK\" default\n"
        "CONTROL 2 static 1 2 3 4 \"t\" wrap hidden\nCONTROL 3 edit 1 2 3 4 \"\"\n");
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->controls[0].isDefault && !d->controls[0].hidden && !d->controls[0].wrap);
    EXPECT_TRUE(d->controls[1].wrap && d->controls[1].hidden && !d->controls[1].isDefault);
    EXPECT_FALSE(d->controls[2].wrap || d->controls[2].hidden || d->controls[2].isDefault);
    for (const char* bad : {"DIALOG 7 1 2 \"\"\nCONTROL 1 a 1 2 3 4 \"\" wrap wrap\n",
                            "DIALOG 7 1 2 \"\"\nCONTROL 1 a 1 2 3 4 \"\" \"wrap\"\n",
                            "DIALOG 7 1 2 \"\"\nCONTROL 1 a 1 2 3 4 \"\" hidden wrap default x\n"})
        EXPECT_FALSE(platform::ParseDialogTemplate(bad)) << bad;
}

TEST(ResourceBundleFile, ShippedBundleHasTheMainWindowsStringsAndDialogs) {
    ResourceBundle b;
    ASSERT_TRUE(b.Load(std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle"));
    for (unsigned id :
         {101u,   261u,   267u,   278u,   280u,   282u,   283u,   309u,   32782u, 32788u,
          32798u, 32799u, 32804u, 32805u, 32815u, 32822u, 32827u, 32831u, 32832u, 32901u})
        EXPECT_FALSE(b.String(id).empty()) << id;
    for (unsigned id : {100u, 102u, 156u, 159u, 161u}) {
        ASSERT_TRUE(b.Dialog(id)) << id;
        auto d = platform::ParseDialogTemplate(*b.Dialog(id));
        ASSERT_TRUE(d) << id;
        EXPECT_EQ(d->id, static_cast<int>(id));
    }
    // The refusal of an address names the scheme that is accepted.
    EXPECT_NE(b.String(32782).find(L"http://"), std::wstring::npos);
}
