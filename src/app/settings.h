#pragma once
// The user's options. Every field is named after its registry value under
// Software\Clipvane\Setting\Output.
//
// Worker threads read fields while the user-interface thread may change
// them: fields are reached only through Get() (a copy taken under the lock)
// and Update() (a change made under it).
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct SettingsData {
    std::wstring OutputFolder;
    std::wstring YTUser;
    std::wstring YTPasswd;
    std::wstring NicoUser;
    std::wstring NicoPasswd;
    uint32_t ShutdownFlag = 0;
    uint32_t UseTitleAsFileName = 0;
    uint32_t UseInternalCache = 0;
    int32_t RetryTimes = 0;
    uint32_t YoutubeFMT = 1;
    uint32_t DonotSepDVD = 0;
    std::wstring MPLAYER_VO;
    uint32_t ProcessPriority = 2;
    uint32_t EncodeThreads = 0;
    int32_t OUT_VOLUME = 0;
    uint32_t VOLUME_NORM = 1;
    uint32_t AAC_MPEG = 1;
    uint32_t AAC_OBJECT = 0;
    uint32_t MP3_ENCODE = 0;
    uint32_t MP3_VOLUME = 0;
    uint32_t MP3_AQ = 0;
    uint32_t MP3_VBRQ = 4;
    uint32_t DEINT = 0;
    uint32_t IVTC = 0;
    uint32_t Fit2Width = 0;
    uint32_t Fit2Height = 0;
    uint32_t ExpandSize = 0;
    uint32_t ExpandRound16 = 0;
    // The tallest video of a stream with several: 0 the best, else 1080, 720 or 480.
    uint32_t HighestQuality = 0;
    std::wstring LangID = L"en";
    // The yt-dlp program to run; empty: yt-dlp along PATH.
    std::wstring ExtractorPath;
};

class CARRegistry;

class CSettings {
  public:
    // Defaults; the operating-system version must be known already.
    CSettings();

    int Load();
    int Save();
    bool ChooseLanguage();

    SettingsData Get() const;
    // Changes the record, then tells every listener, on this thread.
    void Update(const std::function<void(SettingsData&)>& change);
    // `listener` hears the record after each Update until Unsubscribe(token).
    int Subscribe(std::function<void(const SettingsData&)> listener);
    void Unsubscribe(int token);
    std::wstring LangID() const;

    // The key of the values, below the application's root.
    static constexpr const wchar_t* kKey = L"Setting\\Output";

  private:
    void ReadAll(CARRegistry& reg, SettingsData& d);
    void WriteAll(CARRegistry& reg, const SettingsData& d);

    mutable std::mutex mutex_;
    SettingsData data_;
    std::vector<std::pair<int, std::function<void(const SettingsData&)>>> listeners_;
    int nextToken_ = 1;
};

// The application's settings record; valid from start-up to shutdown.
CSettings& GetSettings();
// Installs the record GetSettings returns (the application object does).
void SetSettingsInstance(CSettings* settings);

// What a start-up found of the user's settings file.
struct SettingsFileCheck {
    bool damaged = false;
    std::wstring movedTo;  // where the damaged file went
    // The text for the user; empty when the file was sound or absent.
    std::wstring Message() const;
};
// Before the settings are read: a damaged settings file (the user's
// registry.hive) is logged and moved aside to "registry.hive.damaged", so
// the defaults are used and the next save writes a good file. The window's
// start-up and clipvane-get both call it; clipvane-get tells the result at
// once, the window once it is shown (TakeSettingsFileNotice).
SettingsFileCheck SetAsideDamagedSettingsFile();
// The text of this run's damaged settings file, once; empty afterwards or
// when the file was sound.
std::wstring TakeSettingsFileNotice();

// Default output folder: documents folder + "/Clipvane", else
// <program folder>/output.
std::wstring DefaultOutputFolder();
