#include "app/settings.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/folders.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/registry.h"
#include "app/startup_state.h"
#include "platform/folders.h"
#include "platform/hive.h"
#include "platform/os_version.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace {
std::atomic<CSettings*> g_settings{nullptr};
constexpr size_t kProfileLimit = 10200;

// The fields in record order, with how each is stored.
enum class Kind { String, Int, Dword };
struct Field {
    const wchar_t* name;
    Kind kind;
    std::wstring SettingsData::*s = nullptr;
    uint32_t SettingsData::*u = nullptr;
    int32_t SettingsData::*i = nullptr;
};
#define STR(f)                                                   \
    Field {                                                      \
        L## #f, Kind::String, &SettingsData::f, nullptr, nullptr \
    }
#define DW(f)                                                   \
    Field {                                                     \
        L## #f, Kind::Dword, nullptr, &SettingsData::f, nullptr \
    }
#define SDW(f)                                                  \
    Field {                                                     \
        L## #f, Kind::Dword, nullptr, nullptr, &SettingsData::f \
    }
#define INT(f)                                                \
    Field {                                                   \
        L## #f, Kind::Int, nullptr, nullptr, &SettingsData::f \
    }
const Field kFields[] = {
    STR(OutputFolder),
    STR(YTUser),
    STR(YTPasswd),
    STR(NicoUser),
    STR(NicoPasswd),
    DW(ShutdownFlag),
    DW(UseTitleAsFileName),
    DW(UseInternalCache),
    INT(RetryTimes),
    DW(YoutubeFMT),
    DW(DonotSepDVD),
    STR(MPLAYER_VO),
    DW(ProcessPriority),
    DW(EncodeThreads),
    SDW(OUT_VOLUME),
    DW(VOLUME_NORM),
    DW(AAC_MPEG),
    DW(AAC_OBJECT),
    DW(MP3_ENCODE),
    DW(MP3_VOLUME),
    DW(MP3_AQ),
    DW(MP3_VBRQ),
    DW(DEINT),
    DW(IVTC),
    DW(Fit2Width),
    DW(Fit2Height),
    DW(ExpandSize),
    DW(ExpandRound16),
    DW(HighestQuality),
    STR(LangID),
    STR(ExtractorPath),
};
#undef STR
#undef DW
#undef SDW
#undef INT
static_assert(sizeof(kFields) / sizeof(kFields[0]) == 31);
}  // namespace

std::wstring DefaultOutputFolder() {
    std::wstring docs = platform::DocumentsFolder();
    if (!docs.empty()) {
        if (docs.back() != L'/') docs += L'/';
        return docs + kAppName;
    }
    std::wstring exe = platform::ExecutablePath();
    size_t slash = exe.rfind(L'/');
    return (slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1)) + L"output";
}

CSettings::CSettings() {
    data_.OutputFolder = DefaultOutputFolder();
    data_.MPLAYER_VO = GetOsVersionRecord().major >= 6 ? L"gl" : L"directx";
}

SettingsData CSettings::Get() const {
    std::lock_guard lock(mutex_);
    return data_;
}

void CSettings::Update(const std::function<void(SettingsData&)>& change) {
    SettingsData now;
    std::vector<std::function<void(const SettingsData&)>> listeners;
    {
        std::lock_guard lock(mutex_);
        change(data_);
        if (listeners_.empty()) return;
        now = data_;
        for (const auto& [token, l] : listeners_) listeners.push_back(l);
    }
    // Outside the lock: a listener may read or change the record.
    for (const auto& l : listeners) l(now);
}

int CSettings::Subscribe(std::function<void(const SettingsData&)> listener) {
    std::lock_guard lock(mutex_);
    listeners_.emplace_back(nextToken_, std::move(listener));
    return nextToken_++;
}

void CSettings::Unsubscribe(int token) {
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [token](const auto& l) { return l.first == token; });
}

std::wstring CSettings::LangID() const {
    std::lock_guard lock(mutex_);
    return data_.LangID;
}

bool CSettings::ChooseLanguage() {
    std::wstring lang;
    {
        CARRegistryHolder holder(true, false);
        CARRegistry& reg = holder.Get();
        if (reg.OpenKey(kKey)) reg.ReadString(L"LangID", lang, L"");
    }
    if (lang.empty()) {
        std::wstring key = platform::FormatW(L"0x%04X", platform::SystemDefaultLangId());
        lang =
            platform::GetPrivateProfileString(L"LANGUAGE", key, L"", kProfileLimit,
                                              GetProgramFolder() + L"/lang.cv/language_lookup.ini");
    }
    if (lang.empty()) lang = L"en";
    Update([&](SettingsData& d) { d.LangID = lang; });
    return true;
}

void CSettings::ReadAll(CARRegistry& reg, SettingsData& d) {
    for (const Field& f : kFields) {
        if (f.s == &SettingsData::LangID) continue;
        switch (f.kind) {
            case Kind::String:
                reg.ReadString(f.name, d.*f.s, d.*f.s);
                break;
            case Kind::Int:
                reg.ReadInt(f.name, d.*f.i, d.*f.i);
                break;
            case Kind::Dword:
                if (f.u) {
                    reg.ReadDword(f.name, d.*f.u, d.*f.u);
                } else {
                    uint32_t u = static_cast<uint32_t>(d.*f.i);
                    reg.ReadDword(f.name, u, u);
                    d.*f.i = static_cast<int32_t>(u);
                }
                break;
        }
    }
}

int CSettings::Load() {
    ChooseLanguage();
    CARRegistryHolder holder(true, false);
    CARRegistry& reg = holder.Get();
    if (!reg.OpenKey(kKey)) return 1;
    SettingsData d = Get();
    ReadAll(reg, d);
    Update([&](SettingsData& cur) {
        d.LangID = cur.LangID;
        cur = d;
    });
    return 1;
}

void CSettings::WriteAll(CARRegistry& reg, const SettingsData& d) {
    for (const Field& f : kFields) {
        switch (f.kind) {
            case Kind::String:
                reg.WriteString(f.name, d.*f.s);
                break;
            case Kind::Int:
                reg.WriteInt(f.name, d.*f.i);
                break;
            case Kind::Dword:
                reg.WriteDword(f.name, f.u ? d.*f.u : static_cast<uint32_t>(d.*f.i));
                break;
        }
    }
}

int CSettings::Save() {
    CARRegistryHolder holder(false, false);
    CARRegistry& reg = holder.Get();
    if (!reg.OpenKey(kKey)) {
        reg.CreateKey(kKey);
        reg.CloseKey();
        reg.OpenKey(kKey);
    }
    if (reg.IsKeyOpen()) WriteAll(reg, Get());
    return 1;  // the holder saves the values when it closes the key
}

std::wstring SettingsFileCheck::Message() const {
    if (!damaged) return L"";
    std::wstring fmt = LoadText(33010);
    if (fmt.empty())
        fmt =
            L"The settings file was damaged. It was moved aside to %ls and the default settings "
            L"are used.";
    return platform::FormatW(fmt.c_str(), movedTo.c_str());
}

namespace {
std::mutex g_noticeMutex;
std::wstring g_settingsNotice;
}  // namespace

std::wstring TakeSettingsFileNotice() {
    std::lock_guard lock(g_noticeMutex);
    return std::exchange(g_settingsNotice, std::wstring());
}

SettingsFileCheck SetAsideDamagedSettingsFile() {
    SettingsFileCheck check;
    platform::Hive& hive = platform::Hive::CurrentUser();
    const std::string path = hive.Path();
    struct stat st {};
    // Only a plain file is moved; anything else at that name is left alone.
    if (path.empty() || !hive.LastReadDamaged() || lstat(path.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return check;
    const std::string aside = path + ".damaged";
    if (std::rename(path.c_str(), aside.c_str()) != 0) {
        LogError("Settings", "The damaged settings file %s could not be moved aside: %s",
                 path.c_str(), std::strerror(errno));
        return check;
    }
    LogError("Settings", "The settings file %s was damaged; moved to %s, defaults used",
             path.c_str(), aside.c_str());
    check.damaged = true;
    check.movedTo = platform::FromUtf8(aside);
    std::lock_guard lock(g_noticeMutex);
    g_settingsNotice = check.Message();
    return check;
}

CSettings& GetSettings() {
    CSettings* s = g_settings.load();
    if (!s) {
        // Outside the application's lifetime (tools, tests): a process-wide record.
        static CSettings fallback;
        return fallback;
    }
    return *s;
}

void SetSettingsInstance(CSettings* settings) {
    g_settings = settings;
}
