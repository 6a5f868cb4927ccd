#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "platform/hive.h"

using platform::Hive;
using platform::HiveChange;
using platform::RegType;
using platform::RegValue;

namespace {

const std::wstring kOut = L"Software\\Clipvane\\Setting\\Output";

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

HiveChange Set(const std::wstring& key, RegValue v) {
    return {HiveChange::SetValue, key, std::move(v)};
}
HiveChange Del(HiveChange::Kind kind, const std::wstring& key, const std::wstring& name = L"") {
    return {kind, key, RegValue::String(name, L"")};
}

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

class HiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/cv-hive-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/registry.hive";
    }
    void TearDown() override {
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
        std::filesystem::remove_all(dir_);
    }
    // A good file holding a few values.
    std::string SaveSample() {
        Hive h(path_);
        EXPECT_TRUE(h.Apply({Set(kOut, RegValue::String(L"OutputFolder", L"/home/u/Documents")),
                             Set(kOut, RegValue::Dword(L"RetryTimes", 3)),
                             Set(kOut, RegValue::Binary(L"Blob", {1, 2, 255}))}));
        return ReadBytes(path_);
    }

    std::string dir_, path_;
};

TEST_F(HiveTest, ThreeTypesRoundTripThroughTheFile) {
    const std::wstring tricky = L"q\"uo\\te\nline\ttab\r\u00e9\u65e5\U0001F600 ;[x]=\x01\x7f\u0085";
    std::wstring odd = L"nul";
    odd += L'\0';
    odd += static_cast<wchar_t>(0xD800);  // not a character, kept anyway
    {
        Hive h(path_);
        ASSERT_TRUE(h.Apply({Set(kOut, RegValue::String(L"Tricky", tricky)),
                             Set(kOut, RegValue::String(L"Odd", odd)),
                             Set(kOut, RegValue::String(L"Empty", L"")),
                             Set(kOut, RegValue::String(L"", L"default value")),
                             Set(kOut, RegValue::String(L"na\"me\\\u00e9", L"x")),
                             Set(kOut, RegValue::Dword(L"Volume", 4294967276u)),
                             Set(kOut, RegValue::Binary(L"NoBytes", {})),
                             Set(kOut, RegValue::Binary(L"Bytes", {0, 0x7f, 0x80, 0xff}))}));
    }
    Hive h(path_);  // fresh object: everything comes from the file
    EXPECT_FALSE(h.LastReadDamaged());
    auto v = h.Query(kOut, L"Tricky");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, RegType::String);
    EXPECT_EQ(v->text, tricky);
    EXPECT_EQ(v->Size(), 2 * (tricky.size() + 1));
    EXPECT_EQ(h.Query(kOut, L"Odd")->text, odd);
    EXPECT_EQ(h.Query(kOut, L"Empty")->text, L"");
    EXPECT_EQ(h.Query(kOut, L"Empty")->Size(), 2u);
    EXPECT_EQ(h.Query(kOut, L"")->text, L"default value");
    EXPECT_EQ(h.Query(kOut, L"NA\"ME\\\u00e9")->text, L"x");
    v = h.Query(kOut, L"Volume");
    EXPECT_EQ(v->type, RegType::Dword);
    EXPECT_EQ(v->bytes, (std::vector<uint8_t>{0xec, 0xff, 0xff, 0xff}));
    EXPECT_EQ(v->Size(), 4u);
    EXPECT_EQ(h.Query(kOut, L"NoBytes")->Size(), 0u);
    EXPECT_EQ(h.Query(kOut, L"Bytes")->bytes, (std::vector<uint8_t>{0, 0x7f, 0x80, 0xff}));
    EXPECT_EQ(h.Query(kOut, L"Bytes")->type, RegType::Binary);
    EXPECT_FALSE(h.Query(kOut, L"Missing"));
    EXPECT_FALSE(h.Query(kOut + L"\\Sub", L"Tricky"));

    // The file stays one line per value, readable as text.
    std::string text = ReadBytes(path_);
    EXPECT_NE(text.find("\"Volume\"=dword:ffffffec\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Bytes\"=hex:00,7f,80,ff\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Software\\Clipvane\\Setting\\Output]\n"), std::string::npos) << text;
}

TEST_F(HiveTest, NumberStoredWithEightBytesReadsLongerThanFour) {
    Hive(path_).Apply({Set(kOut, RegValue::Binary(L"RetryTimes", {1, 0, 0, 0, 0, 0, 0, 0}))});
    auto v = Hive(path_).Query(kOut, L"retrytimes");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->Size(), 8u);
    EXPECT_EQ(v->type, RegType::Binary);
}

TEST_F(HiveTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
    Hive h(path_);
    ASSERT_TRUE(
        h.Apply({Set(kOut, RegValue::Dword(L"RetryTimes", 1)),
                 Set(kOut, RegValue::String(L"OutputFolder", L"/a")),
                 Set(L"SOFTWARE\\clipvane\\setting\\output", RegValue::Dword(L"RETRYTIMES", 7)),
                 Set(L"Software\\Clipvane\\Zeta", RegValue::Dword(L"x", 0)),
                 {HiveChange::CreateKey, L"software\\clipvane\\alpha", {}}}));
    Hive other(path_);
    for (Hive* reader : {&h, &other}) {
        EXPECT_TRUE(reader->KeyExists(L"software\\CLIPVANE\\Setting\\OUTPUT"));
        auto v = reader->Query(L"software\\clipvane\\setting\\output", L"retrytimes");
        ASSERT_TRUE(v);
        EXPECT_EQ(v->name, L"RetryTimes");
        EXPECT_EQ(v->bytes[0], 7);
        // Values in the order first written; sub-keys alphabetically.
        EXPECT_EQ(reader->ValueNames(kOut),
                  (std::vector<std::wstring>{L"RetryTimes", L"OutputFolder"}));
        EXPECT_EQ(reader->SubKeyNames(L"SOFTWARE"), (std::vector<std::wstring>{L"Clipvane"}));
        EXPECT_EQ(reader->SubKeyNames(L"Software\\Clipvane"),
                  (std::vector<std::wstring>{L"alpha", L"Setting", L"Zeta"}));
    }
}

TEST_F(HiveTest, KeysAndValuesAreCreatedAndDeleted) {
    Hive h(path_);
    ASSERT_TRUE(h.Apply({{HiveChange::CreateKey, L"A\\B\\C", {}}}));
    EXPECT_TRUE(h.KeyExists(L"A"));
    EXPECT_TRUE(h.KeyExists(L"A\\B\\C"));
    EXPECT_TRUE(h.ValueNames(L"A\\B\\C").empty());
    EXPECT_TRUE(Hive(path_).KeyExists(L"a\\b\\c"));  // an empty key survives the file

    ASSERT_TRUE(
        h.Apply({Set(L"A\\B", RegValue::Dword(L"One", 1)), Set(L"A\\B", RegValue::Dword(L"Two", 2)),
                 Set(L"A\\B\\C\\D", RegValue::Dword(L"Deep", 4)),
                 Set(L"A\\X", RegValue::Dword(L"Kept", 5))}));
    ASSERT_TRUE(h.Apply({Del(HiveChange::DeleteValue, L"a\\b", L"ONE"),
                         Del(HiveChange::DeleteValue, L"A\\B", L"absent"),
                         Del(HiveChange::DeleteValue, L"No\\Such", L"x"),
                         Del(HiveChange::DeleteKey, L"No\\Such")}));
    EXPECT_EQ(h.ValueNames(L"A\\B"), std::vector<std::wstring>{L"Two"});
    ASSERT_TRUE(h.Apply({Del(HiveChange::DeleteKey, L"a\\B")}));
    Hive fresh(path_);
    EXPECT_FALSE(fresh.KeyExists(L"A\\B"));
    EXPECT_FALSE(fresh.KeyExists(L"A\\B\\C\\D"));
    EXPECT_EQ(fresh.Query(L"A\\X", L"Kept")->bytes[0], 5);
    EXPECT_TRUE(fresh.KeyExists(L""));  // the root
}

TEST_F(HiveTest, InvalidChangesAreRefusedAndNothingIsWritten) {
    const std::string before = SaveSample();
    RegValue shortDword = RegValue::Dword(L"RetryTimes", 9);
    shortDword.bytes.pop_back();
    RegValue none;
    none.name = L"X";
    const std::vector<HiveChange> bad[] = {
        {Set(kOut, shortDword)},
        {Set(kOut, none)},
        {Set(L"Software\\\\Clipvane", RegValue::Dword(L"x", 1))},
        {Set(L"\\Software", RegValue::Dword(L"x", 1))},
        {Set(L"Software\\", RegValue::Dword(L"x", 1))},
        {{HiveChange::CreateKey, L"Soft\nware", {}}},
        {Del(HiveChange::DeleteKey, L"")},
    };
    for (const auto& changes : bad) {
        std::vector<HiveChange> batch = {Set(kOut, RegValue::Dword(L"RetryTimes", 100))};
        batch.insert(batch.end(), changes.begin(), changes.end());
        Hive h(path_);
        EXPECT_FALSE(h.Apply(batch));
        EXPECT_EQ(ReadBytes(path_), before);
        EXPECT_EQ(h.Query(kOut, L"RetryTimes")->bytes[0], 3);
    }
    EXPECT_EQ(Entries(dir_), (std::set<std::string>{"registry.hive", "registry.hive.lock"}));
}

TEST_F(HiveTest, HandWrittenFileIsRead) {
    WriteBytes(path_,
               "\xEF\xBB\xBF"
               "Clipvane registry hive 1\r\n"
               "; mended by hand\r\n"
               "\r\n"
               "  [Software\\Clipvane\\Setting\\Output]  \r\n"
               "\"OutputFolder\" = sz:\"/home/u/\\u{65E5}\\\\x\"\r\n"
               "\"RetryTimes\"=dword:A\r\n"
               "\"Blob\"=hex: 0A , FF\r\n"
               "\"Nothing\"=hex:\r\n"
               "[]\n"
               "\"AtRoot\"=sz:\"r\"\n"
               "; end of hive\r\n"
               "\r\n");
    Hive h(path_);
    EXPECT_FALSE(h.LastReadDamaged());
    EXPECT_EQ(h.Query(kOut, L"OutputFolder")->text, L"/home/u/\u65e5\\x");
    EXPECT_EQ(h.Query(kOut, L"RetryTimes")->bytes, (std::vector<uint8_t>{10, 0, 0, 0}));
    EXPECT_EQ(h.Query(kOut, L"Blob")->bytes, (std::vector<uint8_t>{10, 255}));
    EXPECT_EQ(h.Query(kOut, L"Nothing")->Size(), 0u);
    EXPECT_EQ(h.Query(L"", L"AtRoot")->text, L"r");
}

TEST_F(HiveTest, AnyBadLineMakesTheWholeFileDamaged) {
    const std::string head = "Clipvane registry hive 1\n[K]\n\"good\"=dword:00000001\n";
    const std::string tail = "; end of hive\n";
    const std::string bad[] = {
        "[K]\n\"good\"=dword:00000001\n" + tail,  // no header
        head,                                     // no end line
        head + tail + "\"late\"=dword:1\n",       // after the end line
        head + "\"v\"=sz:\"bad \\q escape\"\n" + tail,
        head + "\"v\"=sz:\"unterminated\n" + tail,
        head + "\"v\"=sz:\"text\" junk\n" + tail,
        head + "\"v\"=sz:\"\\u{}\"\n" + tail,
        head + "\"v\"=dword:123456789\n" + tail,
        head + "\"v\"=dword:xyz\n" + tail,
        head + "\"v\"=hex:1,2\n" + tail,
        head + "\"v\"=hex:01,\n" + tail,
        head + "\"v\"=qword:1\n" + tail,
        head + "\"v\"\n" + tail,
        head + "v=dword:1\n" + tail,
        head + "[Unclosed\n" + tail,
        head + "[A\\\\B]\n" + tail,
        head + "\"v\"=sz:\"raw\x01\"\n" + tail,
        head + "\"v\"=sz:\"\xff\xfe\"\n" + tail,             // not UTF-8
        "Clipvane registry hive 1\n\"v\"=dword:1\n" + tail,  // value outside a section
        "Clipvane registry hive 2\n" + tail,
    };
    for (const std::string& text : bad) {
        WriteBytes(path_, text);
        Hive h(path_);
        EXPECT_TRUE(h.LastReadDamaged()) << text;
        EXPECT_FALSE(h.KeyExists(L"K")) << text;
        EXPECT_FALSE(h.Query(L"K", L"good")) << text;
    }
    WriteBytes(path_, head + tail);
    EXPECT_TRUE(Hive(path_).Query(L"K", L"good"));
}

TEST_F(HiveTest, DamagedFileReadsEmptyStaysUntouchedAndIsReplacedOnSave) {
    const std::string good = SaveSample();
    std::mt19937 rng(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    const std::pair<const char*, std::string> cases[] = {
        {"cut in half", good.substr(0, good.size() / 2)},
        {"garbage", garbage},
        {"empty", ""},
    };
    for (const auto& [what, damaged] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove(path_ + ".damaged");
        WriteBytes(path_, damaged);
        struct stat before {};
        stat(path_.c_str(), &before);
        {
            Hive h(path_);
            EXPECT_TRUE(h.LastReadDamaged());
            EXPECT_FALSE(h.KeyExists(kOut));
            EXPECT_FALSE(h.KeyExists(L"Software"));
            EXPECT_FALSE(h.Query(kOut, L"RetryTimes"));
            EXPECT_TRUE(h.ValueNames(kOut).empty());
            EXPECT_TRUE(h.SubKeyNames(L"").empty());
        }
        struct stat after {};
        stat(path_.c_str(), &after);
        EXPECT_EQ(ReadBytes(path_), damaged);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(after.st_ino, before.st_ino);

        Hive h(path_);
        ASSERT_TRUE(h.Apply({Set(L"New", RegValue::Dword(L"v", 1))}));
        EXPECT_EQ(ReadBytes(path_ + ".damaged"), damaged);
        Hive fresh(path_);
        EXPECT_FALSE(fresh.LastReadDamaged());
        EXPECT_TRUE(fresh.Query(L"New", L"v"));
        EXPECT_FALSE(fresh.KeyExists(kOut));  // nothing survives from the damaged file
        EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
    }
}

TEST_F(HiveTest, HugeFileIsTakenForDamaged) {
    std::string text = "Clipvane registry hive 1\n[K]\n\"v\"=dword:1\n;";
    text.append(size_t{17} << 20, 'x');
    text += "\n; end of hive\n";
    WriteBytes(path_, text);
    Hive h(path_);
    EXPECT_TRUE(h.LastReadDamaged());
    EXPECT_FALSE(h.KeyExists(L"K"));
    // A save that would grow past the limit is refused.
    EXPECT_FALSE(h.Apply({Set(L"K", RegValue::Binary(L"big", std::vector<uint8_t>(6 << 20)))}));
    EXPECT_EQ(std::filesystem::file_size(path_), text.size());
}

TEST_F(HiveTest, PathThatIsADirectoryIsLeftAlone) {
    std::filesystem::create_directory(path_);
    Hive dirHive(path_);
    EXPECT_TRUE(dirHive.LastReadDamaged());
    EXPECT_FALSE(dirHive.KeyExists(L"K"));
    EXPECT_FALSE(dirHive.Apply({{HiveChange::CreateKey, L"K", {}}}));
    EXPECT_TRUE(std::filesystem::is_directory(path_));
}

TEST_F(HiveTest, UnreadableFileIsMovedAsideOnSave) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    const std::string good = SaveSample();
    chmod(path_.c_str(), 0);
    Hive h(path_);
    EXPECT_TRUE(h.LastReadDamaged());
    EXPECT_FALSE(h.Query(kOut, L"RetryTimes"));
    // Saving moves the unreadable file aside rather than losing it.
    ASSERT_TRUE(h.Apply({Set(L"K", RegValue::Dword(L"v", 1))}));
    chmod((path_ + ".damaged").c_str(), 0600);
    EXPECT_EQ(ReadBytes(path_ + ".damaged"), good);
}

TEST_F(HiveTest, SavedFileIsPrivateAndFoldersAreMade) {
    const std::string nested = dir_ + "/a/Clipvane/registry.hive";
    mode_t old = umask(0);
    ASSERT_TRUE(Hive(nested).Apply({Set(kOut, RegValue::String(L"YTPasswd", L"secret"))}));
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(stat((dir_ + "/a/Clipvane").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A file someone opened up is closed again by the next save, even an unchanged one.
    chmod(nested.c_str(), 0644);
    ASSERT_TRUE(Hive(nested).Apply({Set(kOut, RegValue::String(L"YTPasswd", L"secret"))}));
    ASSERT_EQ(stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Entries(dir_ + "/a/Clipvane"),
              (std::set<std::string>{"registry.hive", "registry.hive.lock"}));
}

TEST_F(HiveTest, ReadOnlyHiveNeverWrites) {
    const std::string missing = dir_ + "/etc/registry.hive";
    Hive none(missing, true);
    EXPECT_TRUE(none.ReadOnly());
    EXPECT_FALSE(none.KeyExists(kOut));
    EXPECT_FALSE(none.LastReadDamaged());
    EXPECT_FALSE(none.Apply({{HiveChange::CreateKey, L"K", {}}}));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/etc"));

    const std::string good = SaveSample();
    const auto entries = Entries(dir_);
    Hive ro(path_, true);
    EXPECT_EQ(ro.Query(kOut, L"RetryTimes")->bytes[0], 3);
    EXPECT_FALSE(ro.Apply({Set(kOut, RegValue::Dword(L"RetryTimes", 4))}));
    EXPECT_EQ(ReadBytes(path_), good);
    EXPECT_EQ(Entries(dir_), entries);

    EXPECT_TRUE(Hive::LocalMachine().ReadOnly());
    EXPECT_EQ(Hive::LocalMachine().Path(), "/etc/clipvane/registry.hive");
    EXPECT_FALSE(Hive::LocalMachine().Apply({{HiveChange::CreateKey, L"K", {}}}));
}

TEST_F(HiveTest, ChangeThroughOneObjectIsSeenByAnother) {
    Hive a(path_), b(path_);
    EXPECT_FALSE(b.Query(kOut, L"RetryTimes"));
    // Same size each time: only the file's identity tells the change.
    for (uint32_t i = 1; i <= 5; ++i) {
        ASSERT_TRUE(a.Apply({Set(kOut, RegValue::Dword(L"RetryTimes", i))}));
        auto v = b.Query(kOut, L"RetryTimes");
        ASSERT_TRUE(v);
        EXPECT_EQ(v->bytes[0], i);
        ASSERT_TRUE(b.Apply({Set(kOut, RegValue::Dword(L"Other", i))}));
        EXPECT_EQ(a.Query(kOut, L"Other")->bytes[0], i);
        EXPECT_EQ(b.Query(kOut, L"RetryTimes")->bytes[0], i);  // b applied on top of a's
    }
    ASSERT_TRUE(a.Apply({Del(HiveChange::DeleteKey, L"Software")}));
    EXPECT_FALSE(b.KeyExists(kOut));
}

TEST_F(HiveTest, CurrentUserHiveLivesInTheConfigFolder) {
    // In a child, so this process's CurrentUser() stays as it was.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        if (Hive::CurrentUser().Path() != dir_ + "/config/Clipvane/registry.hive") _exit(2);
        bool ok = Hive::CurrentUser().Apply({Set(kOut, RegValue::Dword(L"RetryTimes", 2))});
        Hive::SetCurrentUserPath(path_);
        ok = ok && !Hive::CurrentUser().KeyExists(kOut) &&
             Hive::CurrentUser().Apply({{HiveChange::CreateKey, L"K", {}}});
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "CurrentUser() was made before this test";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Hive(dir_ + "/config/Clipvane/registry.hive").Query(kOut, L"RetryTimes")->bytes[0],
              2);
    EXPECT_TRUE(Hive(path_).KeyExists(L"K"));
    struct stat st {};
    ASSERT_EQ(stat((dir_ + "/config/Clipvane").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Two full sets of values under one key; each save replaces the key whole.
std::vector<HiveChange> CrashSet(int which) {
    const std::wstring key = L"Software\\Clipvane\\Crash";
    std::vector<HiveChange> changes = {Del(HiveChange::DeleteKey, key)};
    for (int i = 0; i < 30; ++i) {
        std::wstring name = L"Value" + std::to_wstring(i);
        if (which == 0)
            changes.push_back(Set(key, RegValue::String(name, std::wstring(i * 5, L'a' + i % 26))));
        else
            changes.push_back(Set(key, RegValue::Dword(name, 1000 + i)));
    }
    return changes;
}

bool HoldsSet(Hive& h, int which) {
    std::vector<std::wstring> names;
    for (const auto& c : CrashSet(which))
        if (c.kind == HiveChange::SetValue) names.push_back(c.value.name);
    if (h.ValueNames(L"Software\\Clipvane\\Crash") != names) return false;
    for (const auto& c : CrashSet(which)) {
        if (c.kind != HiveChange::SetValue) continue;
        auto v = h.Query(c.keyPath, c.value.name);
        if (!v || v->type != c.value.type || v->text != c.value.text || v->bytes != c.value.bytes)
            return false;
    }
    return true;
}

TEST_F(HiveTest, WriterKilledMidSaveLeavesTheOldOrTheNewFile) {
    ASSERT_TRUE(Hive(path_).Apply(CrashSet(0)));
    int seen[2] = {0, 0};
    long sleepUs = 200;
    for (int round = 0; round < 30; ++round, sleepUs = sleepUs * 6 / 5) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Hive writer(path_);
            for (int n = 1;; ++n) writer.Apply(CrashSet(n % 2));
        }
        usleep(static_cast<useconds_t>(sleepUs));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);

        Hive reader(path_);
        ASSERT_FALSE(reader.LastReadDamaged()) << "round " << round;
        bool old = HoldsSet(reader, 0), fresh = HoldsSet(reader, 1);
        ASSERT_TRUE(old || fresh) << "round " << round;
        ++seen[fresh ? 1 : 0];
        // At most the one temporary of the killed writer is left.
        for (const std::string& name : Entries(dir_))
            EXPECT_TRUE(name == "registry.hive" || name == "registry.hive.lock" ||
                        name == "registry.hive.tmp")
                << name;
    }
    // The next save clears a temporary left behind.
    Hive last(path_);
    ASSERT_TRUE(last.Apply(CrashSet(1)));
    EXPECT_TRUE(HoldsSet(last, 1));
    EXPECT_EQ(Entries(dir_), (std::set<std::string>{"registry.hive", "registry.hive.lock"}));
    std::cout << "[          ] kills saw the old set " << seen[0] << " times, the new " << seen[1]
              << "\n";
}

}  // namespace
