// The settings record and the registry accessor over a real hive file.
#include <gtest/gtest.h>

#include "app/registry.h"
#include "app/settings.h"
#include "platform/hive.h"
#include "support/process_harness.h"

using platform::Hive;
using platform::RegValue;

namespace {

class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override { Hive::SetCurrentUserPath(dir_ / "registry.hive"); }
    void TearDown() override { Hive::SetCurrentUserPath(""); }
    const std::wstring kKey = L"Software\\Clipvane\\Setting\\Output";
    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(SettingsStore, SaveWritesAllValuesInOneGoAndLoadReadsThemBack) {
    CSettings s;
    s.Update([](SettingsData& d) {
        d.YTUser = L"user \"quoted\" \\ back";
        d.YTPasswd = L"p\u00e4ss&word";
        d.OUT_VOLUME = -20;
        d.RetryTimes = -3;
        d.YoutubeFMT = 2;
        d.LangID = L"ja";
    });
    s.Save();
    Hive& hive = Hive::CurrentUser();
    EXPECT_EQ(hive.ValueNames(kKey).size(), 31u);
    auto vol = hive.Query(kKey, L"out_volume");
    ASSERT_TRUE(vol);
    EXPECT_EQ(vol->type, platform::RegType::Dword);
    uint32_t raw =
        vol->bytes[0] | vol->bytes[1] << 8 | vol->bytes[2] << 16 | uint32_t(vol->bytes[3]) << 24;
    EXPECT_EQ(raw, 4294967276u);

    CSettings t;
    t.Load();
    SettingsData d = t.Get();
    EXPECT_EQ(d.OUT_VOLUME, -20);
    EXPECT_EQ(d.RetryTimes, -3);
    EXPECT_EQ(d.YoutubeFMT, 2u);
    EXPECT_EQ(d.YTUser, L"user \"quoted\" \\ back");
    EXPECT_EQ(d.YTPasswd, L"p\u00e4ss&word");
    EXPECT_EQ(d.LangID, L"ja");
}

TEST_F(SettingsStore, DefaultsOnEmptyRegistry) {
    CSettings s;
    s.Load();
    SettingsData d = s.Get();
    EXPECT_EQ(d.YoutubeFMT, 1u);
    EXPECT_EQ(d.ProcessPriority, 2u);
    EXPECT_EQ(d.VOLUME_NORM, 1u);
    EXPECT_EQ(d.MP3_VBRQ, 4u);
    EXPECT_EQ(d.AAC_MPEG, 1u);
    EXPECT_EQ(d.RetryTimes, 0);
    EXPECT_FALSE(d.LangID.empty());
    EXPECT_EQ(d.OutputFolder, DefaultOutputFolder());
    EXPECT_FALSE(Hive::CurrentUser().KeyExists(kKey)) << "loading writes nothing";
}

TEST_F(SettingsStore, OversizedOrMissingNumbersKeepTheirDefaults) {
    ASSERT_TRUE(Hive::CurrentUser().Apply({
        {platform::HiveChange::SetValue, kKey,
         RegValue::Binary(L"YoutubeFMT", {0, 0, 0, 0, 0, 0, 0, 0})},
        {platform::HiveChange::SetValue, kKey, RegValue::Dword(L"MP3_VBRQ", 9)},
        {platform::HiveChange::SetValue, kKey, RegValue::String(L"LangID", L"")},
        {platform::HiveChange::SetValue, kKey, RegValue::String(L"YTUser", L"")},
    }));
    CSettings s;
    s.Update([](SettingsData& d) { d.YTUser = L"kept?"; });
    s.Load();
    SettingsData d = s.Get();
    EXPECT_EQ(d.YoutubeFMT, 1u) << "8 bytes under a numeric name are ignored";
    EXPECT_EQ(d.MP3_VBRQ, 9u);
    EXPECT_EQ(d.YTUser, L"") << "an empty stored string is a value";
    EXPECT_FALSE(d.LangID.empty()) << "an empty language counts as missing";
}

TEST_F(SettingsStore, AccessorReportsSizesAndRespectsReadOnly) {
    CARRegistryHolder ro(true, false);
    EXPECT_FALSE(ro.Get().CreateKey(L"Setting"));
    EXPECT_FALSE(ro.Get().OpenKey(L"Setting\\Output"));
    {
        CARRegistryHolder rw(false, false);
        CARRegistry& reg = rw.Get();
        ASSERT_TRUE(reg.CreateKey(L"Setting\\Output\\"));
        EXPECT_EQ(reg.KeyPath(), L"Setting\\Output\\");
        ASSERT_TRUE(reg.WriteString(L"Name", L"abc"));
        EXPECT_EQ(reg.lastSize, 4u);
        EXPECT_EQ(reg.lastType, 1u);
        std::wstring back;
        EXPECT_TRUE(reg.ReadString(L"NAME", back, L"x")) << "unsaved writes read back";
        EXPECT_EQ(back, L"abc");
        reg.CloseKey();
        EXPECT_TRUE(reg.KeyPath().empty());
    }
    CARRegistry& r = ro.Get();
    ASSERT_TRUE(r.OpenKey(L"setting\\output"));
    std::wstring v;
    EXPECT_TRUE(r.ReadString(L"name", v, L""));
    EXPECT_EQ(v, L"abc");
    EXPECT_FALSE(r.ReadString(L"absent", v, L"dflt"));
    EXPECT_EQ(v, L"dflt");
    EXPECT_EQ(r.lastError, 2u);
    EXPECT_FALSE(r.WriteDword(L"n", 1));
}

TEST_F(SettingsStore, ConcurrentReadersNeverSeeTornStrings) {
    CSettings s;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            std::wstring u = s.Get().YTUser;
            if (!u.empty() && u != std::wstring(1000, L'a') && u != std::wstring(3, L'b')) ++torn;
        }
    });
    for (int i = 0; i < 20000; ++i)
        s.Update([i](SettingsData& d) { d.YTUser = i % 2 ? std::wstring(1000, L'a') : L"bbb"; });
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
}
