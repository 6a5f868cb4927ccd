// The application's folders as the desktop's variables decide them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "app/folders.h"
#include "app/settings.h"
#include "platform/folders.h"
#include "platform/os_version.h"
#include "platform/text.h"
#include "support/process_harness.h"

using platform::ToUtf8;

TEST(Folders, DataFolderFollowsXdgAndFallsBackToProfile) {
    testsupport::TempDir tmp;
    setenv("XDG_DATA_HOME", (tmp / "share").c_str(), 1);
    EXPECT_EQ(ToUtf8(GetDataFolder()), tmp / "share/Clipvane");
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "share/Clipvane")) << "created with parents";

    // A relative XDG folder is invalid; without HOME there is no data root.
    setenv("XDG_DATA_HOME", "relative/share", 1);
    unsetenv("HOME");
    std::string profile = ToUtf8(GetProgramFolder()) + "/Profile";
    EXPECT_EQ(ToUtf8(GetDataFolder()), profile);
    EXPECT_TRUE(std::filesystem::is_directory(profile));
    std::filesystem::remove(profile);
}

TEST(Folders, DocumentsFolderComesFromUserDirs) {
    testsupport::TempDir tmp;
    setenv("HOME", tmp.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (tmp / "cfg").c_str(), 1);
    EXPECT_EQ(ToUtf8(platform::DocumentsFolder()), tmp / "Documents");
    testsupport::WriteFile(tmp / "cfg/user-dirs.dirs",
                           "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(ToUtf8(platform::DocumentsFolder()), tmp / "Dokumente");
    EXPECT_EQ(ToUtf8(DefaultOutputFolder()), tmp / "Dokumente/Clipvane");
    // A documents folder set to HOME itself means none was set up.
    testsupport::WriteFile(tmp / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(ToUtf8(platform::DocumentsFolder()), tmp / "Documents");
    unsetenv("HOME");
    EXPECT_EQ(platform::DocumentsFolder(), L"");
    EXPECT_EQ(ToUtf8(DefaultOutputFolder()), ToUtf8(GetProgramFolder()) + "/output");
}

TEST(Folders, LanguageIdentifierFromLocaleVariables) {
    EXPECT_EQ(platform::LangIdFromLocaleName("en_GB.UTF-8"), 0x0409u);
    EXPECT_EQ(platform::LangIdFromLocaleName("ja_JP.UTF-8"), 0x0411u);
    EXPECT_EQ(platform::LangIdFromLocaleName("zh_CN.GB18030"), 0x0804u);
    EXPECT_EQ(platform::LangIdFromLocaleName("zh_TW"), 0x0404u);
    EXPECT_EQ(platform::LangIdFromLocaleName("de_DE@euro"), 0x0407u);
    EXPECT_EQ(platform::LangIdFromLocaleName("C"), 0x0409u);
    setenv("LANG", "ja_JP.UTF-8", 1);
    setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    setenv("LC_ALL", "", 1);  // empty counts as unset
    EXPECT_EQ(platform::SystemDefaultLangId(), 0x0404u);
    setenv("LC_ALL", "ja_JP", 1);
    EXPECT_EQ(platform::SystemDefaultLangId(), 0x0411u);
}
