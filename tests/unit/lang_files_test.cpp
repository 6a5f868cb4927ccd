// The shipped translation files against the shipped bundle: every text is
// translated, nothing is translated that does not exist, and formats keep
// their arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "platform/dialog_template.h"
#include "platform/menu_template.h"
#include "platform/profile.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"

namespace {

using Sections = std::map<std::string, std::vector<std::string>>;

// Section names and their keys, in file order.
Sections ListKeys(const std::string& text) {
    Sections out;
    std::string section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            out[section];
            continue;
        }
        out[section].push_back(line.substr(0, line.find('=')));
    }
    return out;
}

// The conversions of a format, in order ("%ls", "%d", "%%").
std::vector<std::string> Conversions(const std::wstring& text) {
    std::vector<std::string> out;
    std::string s = platform::ToUtf8(text);
    static const std::regex conv("%[-+ #0-9.]*(l?[sdcuxf]|%)");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), conv); it != std::sregex_iterator();
         ++it)
        out.push_back(it->str());
    return out;
}

std::wstring AfterTab(const std::wstring& s) {
    size_t tab = s.find(L'\t');
    return tab == std::wstring::npos ? L"" : s.substr(tab + 1);
}

void CollectCommands(const std::vector<platform::MenuItemTemplate>& items,
                     std::map<int, std::wstring>& out) {
    for (const auto& i : items) {
        if (i.kind == platform::MenuItemTemplate::Kind::Command) out.emplace(i.command, i.text);
        CollectCommands(i.children, out);
    }
}

class LanguageFile : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bundle_.Load(std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle"));
        path_ = std::string(CLIPVANE_PROGRAM_DIR) + "/lang.cv/lang_" + GetParam() + ".ini";
        keys_ = ListKeys(testsupport::ReadFile(path_));
        ASSERT_FALSE(keys_.empty()) << path_;
    }
    std::wstring Value(const std::string& section, const std::string& key) {
        std::wstring v = platform::GetPrivateProfileString(
            platform::FromUtf8(section), platform::FromUtf8(key), L"", 10200,
            platform::FromUtf8(path_), platform::KeyMatch::Exact);
        size_t esc;
        while ((esc = v.find(L"\\t")) != std::wstring::npos) v.replace(esc, 2, L"\t");
        return v;
    }

    platform::ResourceBundle bundle_;
    std::string path_;
    Sections keys_;
};

}  // namespace

TEST_P(LanguageFile, EveryStringIsTranslatedWithTheSameArguments) {
    auto table = platform::ResourceBundle::ParseStringTable(
        testsupport::ReadFile(std::string(CLIPVANE_TEST_SRC_DIR) + "/resources/strings.txt"));
    ASSERT_GT(table.size(), 50u);
    std::set<std::string> seen;
    for (const auto& key : keys_["STRING"]) {
        EXPECT_TRUE(seen.insert(key).second) << key << " twice";
        EXPECT_TRUE(bundle_.HasString(static_cast<unsigned>(std::stoul(key))))
            << key << " is no string of the bundle";
    }
    for (const auto& [id, english] : table) {
        std::wstring t = Value("STRING", std::to_string(id));
        EXPECT_FALSE(t.empty()) << id << " is not translated";
        EXPECT_EQ(Conversions(t), Conversions(english)) << id;
        EXPECT_EQ(std::count(t.begin(), t.end(), L'&') > 0,
                  english.find(L'&') != std::wstring::npos)
            << id;
    }
}

TEST_P(LanguageFile, EveryMenuItemIsTranslatedKeepingItsKeys) {
    std::map<int, std::wstring> commands;
    for (unsigned id : {243u, 184u}) {
        auto m = platform::ParseMenuTemplate(*bundle_.Menu(id));
        ASSERT_TRUE(m);
        for (const auto& p : m->popups) CollectCommands(p.children, commands);
    }
    // Drop-downs of the main menu are named by their position.
    std::set<std::string> dropDowns;
    auto main = platform::ParseMenuTemplate(*bundle_.Menu(243));
    const auto& items = main->popups.at(0).children;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].kind == platform::MenuItemTemplate::Kind::Popup)
            dropDowns.insert("item_" + std::to_string(i + 1));
    ASSERT_FALSE(dropDowns.empty());

    for (const auto& key : keys_["MENU"])
        EXPECT_TRUE(dropDowns.count(key) || commands.count(std::stoi(key)))
            << key << " names no menu item";
    for (const auto& k : dropDowns) EXPECT_FALSE(Value("MENU", k).empty()) << k;
    for (const auto& [id, english] : commands) {
        std::wstring t = Value("MENU", std::to_string(id));
        EXPECT_FALSE(t.empty()) << id << " is not translated";
        // The keys shown beside an item are those of the key table, in every language.
        EXPECT_EQ(AfterTab(t), AfterTab(english)) << id;
        EXPECT_NE(t.find(L'&'), std::wstring::npos) << id << " lost its mnemonic";
    }
}

TEST_P(LanguageFile, EveryDialogTextIsTranslated) {
    for (const auto& [section, keys] : keys_) {
        if (section.rfind("DIALOG_IDD_", 0) != 0) continue;
        unsigned id = static_cast<unsigned>(std::stoul(section.substr(11)));
        ASSERT_TRUE(bundle_.Dialog(id)) << section;
        auto d = platform::ParseDialogTemplate(*bundle_.Dialog(id));
        std::set<std::string> ids = {"title"};
        for (const auto& c : d->controls) ids.insert(std::to_string(c.id));
        for (const auto& k : keys) EXPECT_TRUE(ids.count(k)) << section << " " << k;
    }
    for (unsigned id : {100u, 102u, 154u, 156u, 159u, 161u, 185u, 255u, 256u}) {
        auto d = platform::ParseDialogTemplate(*bundle_.Dialog(id));
        std::string section = "DIALOG_IDD_" + std::to_string(id);
        EXPECT_FALSE(Value(section, "title").empty()) << id;
        for (const auto& c : d->controls) {
            if (!c.text.empty()) {
                EXPECT_FALSE(Value(section, std::to_string(c.id)).empty()) << id << " " << c.id;
            }
        }
    }
}

TEST_P(LanguageFile, FixedWordsOfTheTaskList) {
    for (const char* w :
         {"Clipvane Video Downloader", "Ready for download...", "Waiting", "N/A", "Online"})
        EXPECT_FALSE(Value("DICTIONARY", w).empty()) << w;
}

namespace {
// Width and height from a PNG file's header; zero for anything else.
std::pair<unsigned, unsigned> PngSize(const std::string& data) {
    if (data.size() < 24 || data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
    auto be32 = [&](size_t at) {
        unsigned v = 0;
        for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(data[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}
}  // namespace

TEST_P(LanguageFile, BitmapsThatCarryWordsAreDrawnInTheLanguageAtBothDensities) {
    // The caption strip (the menu button's word), the toolbar, the site
    // panel's two buttons and the tips card.
    const std::set<std::string> wanted = {"134", "147", "149", "150", "151", "187", "188", "1019"};
    const auto& keys = keys_["BITMAP"];
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), wanted);
    for (const auto& key : keys) {
        const std::string file = platform::ToUtf8(Value("BITMAP", key));
        ASSERT_EQ(file.find(".."), std::string::npos) << key;
        const std::string own =
            testsupport::ReadFile(std::string(CLIPVANE_PROGRAM_DIR) + "/" + file);
        auto english = bundle_.Bitmap(static_cast<unsigned>(std::stoul(key)));
        ASSERT_TRUE(english) << key;
        const auto size = PngSize(std::string(*english));
        EXPECT_EQ(PngSize(own), size) << file;
        EXPECT_NE(own, std::string(*english)) << file << " has the English words";
        std::string dense = file;
        dense.insert(dense.size() - 4, "@2x");
        const auto denseSize =
            PngSize(testsupport::ReadFile(std::string(CLIPVANE_PROGRAM_DIR) + "/" + dense));
        EXPECT_EQ(denseSize, std::make_pair(size.first * 2, size.second * 2)) << dense;
    }
    for (const char* w : {"Menu", "Add Videos", "Download All", "Stop", "Open Folder", "Settings", "Tips"})
        EXPECT_FALSE(Value("DICTIONARY", w).empty()) << w;
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageFile, ::testing::Values("ja", "zh_cn"));
