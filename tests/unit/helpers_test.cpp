#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/helpers.h"
#include "version.h"

namespace fs = std::filesystem;

namespace {

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "cvhelpXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

  private:
    std::string name_, old_;
    bool had_ = false;
};

using CreateFolderTreeTest = TempDirTest;

TEST_F(CreateFolderTreeTest, CreatesEveryMissingLevel) {
    fs::path deep = dir_ / "a" / "b" / "c";
    CreateFolderTree(deep.wstring() + L"/");
    EXPECT_TRUE(fs::is_directory(dir_ / "a"));
    EXPECT_TRUE(fs::is_directory(dir_ / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(fs::status(deep).permissions() & fs::perms::owner_all, fs::perms::owner_all);

    // Existing levels are fine; doubled separators too.
    CreateFolderTree((dir_ / "a").wstring() + L"//x///y");
    EXPECT_TRUE(fs::is_directory(dir_ / "a" / "x" / "y"));
    CreateFolderTree(deep.wstring());
    EXPECT_TRUE(fs::is_directory(deep));
}

TEST_F(CreateFolderTreeTest, FailuresAreIgnored) {
    CreateFolderTree(L"");
    CreateFolderTree(L"/");
    std::ofstream((dir_ / "file").string()) << "x";
    CreateFolderTree((dir_ / "file" / "sub" / "more").wstring());
    EXPECT_TRUE(fs::is_regular_file(dir_ / "file"));
    EXPECT_FALSE(fs::exists(dir_ / "file" / "sub"));
    // Very deep: no recursion limit to hit.
    std::wstring path = dir_.wstring();
    for (int i = 0; i < 3000; ++i) path += L"/d";
    CreateFolderTree(path);
    EXPECT_TRUE(fs::is_directory(dir_ / "d" / "d" / "d"));
}

TEST(SanitizePath, Examples) {
    EXPECT_EQ(SanitizePath(L"temp/x", L'-'), L"/temp/x");
    EXPECT_EQ(SanitizePath(L"\\temp", L'-'), L"/temp");
    EXPECT_EQ(SanitizePath(L"a:b/c*d", L'-'), L"/a-b/c-d");
    EXPECT_EQ(SanitizePath(L"/home/u/Videos", L'-'), L"/home/u/Videos");
    // A Windows drive prefix has no meaning here: its colon goes too.
    EXPECT_EQ(SanitizePath(L"C:\\a:b\\c*d", L'-'), L"/C-/a-b/c-d");
    EXPECT_EQ(SanitizePath(L"/x*?\"<>|:y", L'_'), L"/x_______y");
    EXPECT_EQ(SanitizePath(L"", L'-'), L"/");
}

TEST(SanitizePath, DoubledSeparators) {
    // The first of two separators becomes the replacement; the path then no
    // longer starts with a separator and is put under the root.
    EXPECT_EQ(SanitizePath(L"//x", L'-'), L"/-/x");
    EXPECT_EQ(SanitizePath(L"/a//b", L'-'), L"/a-/b");
    EXPECT_EQ(SanitizePath(L"/a///b", L'-'), L"/a--/b");
    EXPECT_EQ(SanitizePath(L"/a\\/b/\\c", L'-'), L"/a-/b-/c");
    EXPECT_EQ(SanitizePath(L"/a/", L'-'), L"/a/");
}

TEST(SanitizePath, BufferIsChangedInPlaceAndNeverOverrun) {
    wchar_t buf[kMaxPath + 1];
    std::wcscpy(buf, L"temp\\a:b");
    SanitizePath(buf, L'-');
    EXPECT_STREQ(buf, L"/temp/a-b");

    // 259 relative characters plus the root do not fit: cut to 259.
    std::wstring relative(kMaxPath - 1, L'x');
    std::wmemcpy(buf, relative.c_str(), relative.size() + 1);
    buf[kMaxPath] = L'#';
    SanitizePath(buf, L'-');
    EXPECT_EQ(std::wcslen(buf), kMaxPath - 1);
    EXPECT_EQ(buf[0], L'/');
    EXPECT_EQ(buf[kMaxPath], L'#');

    // A full buffer without a terminator is read only up to its last cell.
    std::wmemset(buf, L'/', kMaxPath);
    buf[kMaxPath] = L'#';
    SanitizePath(buf, L'-');
    EXPECT_EQ(std::wcslen(buf), kMaxPath - 1);
    EXPECT_EQ(buf[kMaxPath], L'#');

    SanitizePath(static_cast<wchar_t*>(nullptr), L'-');
}

TEST(JoinPath, TrimsBlanksThenSeparatorsOfTheFolder) {
    EXPECT_EQ(JoinPath(L"/out", L"YouTube"), L"/out/YouTube");
    EXPECT_EQ(JoinPath(L"/out/ \t\r\n", L"YouTube"), L"/out/YouTube");
    EXPECT_EQ(JoinPath(L"/out\\//", L"NicoVideo"), L"/out/NicoVideo");
    EXPECT_EQ(JoinPath(L"/out /", L"n"), L"/out /n");  // blanks before a separator stay
    EXPECT_EQ(JoinPath(L"/", L"n"), L"/n");
    EXPECT_EQ(JoinPath(L"", L"n"), L"/n");
    EXPECT_EQ(JoinPath(L"a", L""), L"a/");
}

TEST(FileTitleAndFolderOf, SplitAtTheLastSlashOrBackslash) {
    EXPECT_EQ(FileTitle(L"/home/u/Clipvane/clip.part.mp4"), L"clip.part");
    EXPECT_EQ(FileTitle(L"C:\\v\\clip.flv"), L"clip");
    EXPECT_EQ(FileTitle(L"/v/.hidden"), L".hidden");  // its only dot starts the name
    EXPECT_EQ(FileTitle(L"/v.d/clip"), L"clip");      // a dot of the folder is no extension
    EXPECT_EQ(FileTitle(L"/v/"), L"");
    EXPECT_EQ(FileTitle(L"clip.mp4"), L"clip");
    EXPECT_EQ(FolderOf(L"/home/u/clip.mp4"), L"/home/u");
    EXPECT_EQ(FolderOf(L"/clip.mp4"), L"/");
    EXPECT_EQ(FolderOf(L"clip.mp4"), L"");
}

TEST(GetProgramVersion, ComesFromTheBuild) {
    int major = -1, minor = -1, build = -1;
    EXPECT_EQ(GetProgramVersion(major, minor, build), 0);
    EXPECT_EQ(std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build),
              CLIPVANE_VERSION_STRING);
}

TEST(FormatDuration, EdgeValues) {
    EXPECT_EQ(FormatDuration(0), L"00:00:00");
    EXPECT_EQ(FormatDuration(999), L"00:00:00");
    EXPECT_EQ(FormatDuration(59999), L"00:00:59");
    EXPECT_EQ(FormatDuration(61000), L"00:01:01");
    EXPECT_EQ(FormatDuration(3599999), L"00:59:59");
    EXPECT_EQ(FormatDuration(3600000), L"01:00:00");
    EXPECT_EQ(FormatDuration(3661000), L"01:01:01");
    EXPECT_EQ(FormatDuration(360000000), L"100:00:00");
    EXPECT_EQ(FormatDuration(INT_MAX), L"596:31:23");
}

TEST(FormatDuration, NegativeValuesDoNotCrash) {
    EXPECT_EQ(FormatDuration(-1), L"00:00:00");
    EXPECT_EQ(FormatDuration(-61000), L"00:-1:-1");
    EXPECT_FALSE(FormatDuration(-3600000).empty());
    EXPECT_FALSE(FormatDuration(INT_MIN).empty());
}

// Dates are checked in a fixed zone with summer time.
class FormatShortDateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tz_ = std::make_unique<ScopedEnv>("TZ", "EST5EDT,M3.2.0,M11.1.0");
        tzset();
    }
    void TearDown() override {
        tz_.reset();
        tzset();
    }
    static std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        tm.tm_isdst = -1;
        return mktime(&tm);
    }
    std::unique_ptr<ScopedEnv> tz_;
};

TEST_F(FormatShortDateTest, BoundariesAreStrict) {
    std::time_t now = Local(2023, 6, 15, 14, 30, 0);
    EXPECT_EQ(FormatShortDate(now, now), L"02:30 PM");
    EXPECT_EQ(FormatShortDate(Local(2023, 6, 15, 0, 0, 1), now), L"12:00 AM");
    EXPECT_EQ(FormatShortDate(Local(2023, 6, 16, 9, 5, 0), now), L"09:05 AM");  // later today+
    EXPECT_EQ(FormatShortDate(Local(2023, 6, 15, 0, 0, 0), now), L"Jun 15");
    EXPECT_EQ(FormatShortDate(Local(2023, 5, 7, 23, 0, 0), now), L"May 07");
    EXPECT_EQ(FormatShortDate(Local(2023, 1, 1, 0, 0, 1), now), L"Jan 01");
    EXPECT_EQ(FormatShortDate(Local(2023, 1, 1, 0, 0, 0), now), L"01/01/2023");
    EXPECT_EQ(FormatShortDate(Local(2022, 12, 31, 23, 59, 59), now), L"12/31/2022");
    EXPECT_EQ(FormatShortDate(0, now), L"12/31/1969");  // 1970-01-01 UTC is still 1969 here
}

TEST_F(FormatShortDateTest, OnNewYearsDayBothBoundariesCoincide) {
    std::time_t now = Local(2024, 1, 1, 10, 0, 0);
    EXPECT_EQ(FormatShortDate(Local(2024, 1, 1, 0, 0, 0), now), L"01/01/2024");
    EXPECT_EQ(FormatShortDate(Local(2024, 1, 1, 0, 0, 1), now), L"12:00 AM");
}

TEST_F(FormatShortDateTest, AcrossASummerTimeChange) {
    // 2023-03-12 02:00 EST jumps to 03:00 EDT; midnight is still a real moment.
    std::time_t now = Local(2023, 3, 12, 12, 0, 0);
    EXPECT_EQ(FormatShortDate(Local(2023, 3, 12, 0, 0, 0), now), L"Mar 12");
    EXPECT_EQ(FormatShortDate(Local(2023, 3, 12, 3, 30, 0), now), L"03:30 AM");
}

TEST_F(FormatShortDateTest, UsesTheClockWhenNoMomentIsGiven) {
    std::time_t now = std::time(nullptr);
    std::wstring text = FormatShortDate(now);
    ASSERT_EQ(text.size(), 8u);
    EXPECT_TRUE(text.ends_with(L" AM") || text.ends_with(L" PM")) << text.c_str();
    EXPECT_EQ(FormatShortDate(now - 400 * 86400), FormatShortDate(now - 400 * 86400, now));
}

// The locales the grouping tests need; compiled into a temporary folder when
// the machine has not generated them.
class LocaleTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (HaveLocales()) return;
        std::string tmpl = (fs::temp_directory_path() / "cvlocXXXXXX").string();
        if (!mkdtemp(tmpl.data())) return;
        localeDir_ = tmpl;
        for (const char* name : {"en_US", "de_DE"}) {
            std::string cmd = "localedef -i " + std::string(name) + " -f UTF-8 -c '" + tmpl + "/" +
                              name + ".UTF-8' >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0) break;
        }
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        if (!localeDir_.empty()) fs::remove_all(localeDir_, ec);
        localeDir_.clear();
    }
    void SetUp() override {
        if (!localeDir_.empty())
            locpath_ = std::make_unique<ScopedEnv>("LOCPATH", localeDir_.c_str());
        if (!HaveLocales()) GTEST_SKIP() << "en_US.UTF-8 and de_DE.UTF-8 are not available";
    }
    void TearDown() override { locpath_.reset(); }

    static bool HaveLocales() {
        for (const char* name : {"en_US.UTF-8", "de_DE.UTF-8"}) {
            locale_t loc = newlocale(LC_ALL_MASK, name, nullptr);
            if (!loc) return false;
            freelocale(loc);
        }
        return true;
    }

    static inline std::string localeDir_;
    std::unique_ptr<ScopedEnv> locpath_;
};

TEST(FormatGroupedNumber, CLocaleHasNoGrouping) {
    EXPECT_EQ(FormatGroupedNumber(L"1234567", -1, "C"), L"1234567");
    EXPECT_EQ(FormatGroupedNumber(L"-1234.5", -1, "C.UTF-8"), L"-1234.5");
    EXPECT_EQ(FormatGroupedNumber(L"1234.5", 3, "C"), L"1234.500");
    // An unknown locale falls back to the C conventions.
    EXPECT_EQ(FormatGroupedNumber(L"1234567", -1, "xx_NOWHERE.UTF-8"), L"1234567");
}

TEST(FormatGroupedNumber, AnythingButANumberComesBackUnchanged) {
    for (const wchar_t* text : {L"", L"-", L".", L"-.", L"abc", L"12a", L"1.2.3", L"--1", L"+1",
                                L" 12", L"12 ", L"1,234", L"1e5", L"\u0661\u0662"}) {
        EXPECT_EQ(FormatGroupedNumber(text, -1, "C"), text);
        EXPECT_EQ(FormatGroupedNumber(text, 2, "C"), text);
    }
    EXPECT_EQ(FormatGroupedNumber(L"12", -2, "C"), L"12");
    // Too many decimals for the output buffer: refused, without a long wait.
    EXPECT_EQ(FormatGroupedNumber(L"12", INT_MAX, "C"), L"12");
}

TEST(FormatGroupedNumber, RoundsOrPadsToTheDecimals) {
    EXPECT_EQ(FormatGroupedNumber(L"1234.567", 2, "C"), L"1234.57");
    EXPECT_EQ(FormatGroupedNumber(L"1234.564", 2, "C"), L"1234.56");
    EXPECT_EQ(FormatGroupedNumber(L"999.995", 2, "C"), L"1000.00");
    EXPECT_EQ(FormatGroupedNumber(L"-9.5", 0, "C"), L"-10");
    EXPECT_EQ(FormatGroupedNumber(L"5", 2, "C"), L"5.00");
    EXPECT_EQ(FormatGroupedNumber(L"5.", -1, "C"), L"5");
    EXPECT_EQ(FormatGroupedNumber(L".5", -1, "C"), L"0.5");
    EXPECT_EQ(FormatGroupedNumber(L"0012", -1, "C"), L"12");
    EXPECT_EQ(FormatGroupedNumber(L"-0.4", 0, "C"), L"0");
    EXPECT_EQ(FormatGroupedNumber(L"-0", -1, "C"), L"0");
}

TEST_F(LocaleTest, GroupsByTheLocaleConventions) {
    EXPECT_EQ(FormatGroupedNumber(L"1234567", -1, "en_US.UTF-8"), L"1,234,567");
    EXPECT_EQ(FormatGroupedNumber(L"123", -1, "en_US.UTF-8"), L"123");
    EXPECT_EQ(FormatGroupedNumber(L"1234", -1, "en_US.UTF-8"), L"1,234");
    EXPECT_EQ(FormatGroupedNumber(L"123456", -1, "en_US.UTF-8"), L"123,456");
    EXPECT_EQ(FormatGroupedNumber(L"-1234567.891", -1, "en_US.UTF-8"), L"-1,234,567.891");
    EXPECT_EQ(FormatGroupedNumber(L"999999.5", 0, "en_US.UTF-8"), L"1,000,000");
    EXPECT_EQ(FormatGroupedNumber(L"1234567.5", -1, "de_DE.UTF-8"), L"1.234.567,5");
    EXPECT_EQ(FormatGroupedNumber(L"1234567", 2, "de_DE.UTF-8"), L"1.234.567,00");
}

TEST_F(LocaleTest, DefaultConventionsComeFromTheEnvironment) {
    {
        ScopedEnv all("LC_ALL", "en_US.UTF-8");
        EXPECT_EQ(FormatGroupedNumber(L"1234567", -1), L"1,234,567");
    }
    {
        ScopedEnv all("LC_ALL", nullptr);
        ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8");
        ScopedEnv lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(FormatGroupedNumber(L"1234567.25", -1), L"1.234.567,25");
    }
    {
        ScopedEnv all("LC_ALL", "C");
        EXPECT_EQ(FormatGroupedNumber(L"1234567", -1), L"1234567");
    }
}

TEST_F(LocaleTest, ShortDateIgnoresTheProcessLocale) {
    ScopedEnv tz("TZ", "UTC0");
    tzset();
    std::string old = setlocale(LC_ALL, nullptr);
    ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    std::time_t may = 1684159200;  // 2023-05-15 14:00:00 UTC
    std::wstring time = FormatShortDate(may, may);
    std::wstring day = FormatShortDate(may - 86400, may);
    setlocale(LC_ALL, old.c_str());
    tzset();
    EXPECT_EQ(time, L"02:00 PM");
    EXPECT_EQ(day, L"May 14");
}

}  // namespace
