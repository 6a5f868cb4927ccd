#pragma once
// The player's output parser: keeps what mplayer prints in a bounded buffer
// and reads identification values and position answers out of it.
#include <atomic>
#include <string>
#include <vector>

#include "media/console_redirector.h"
#include "media/task.h"
#include "platform/text.h"

class CCmdMplayer : public CConsoleRedirector {
  public:
    static constexpr size_t kBufferChars = 8192;
    CCmdMplayer() = default;
    ~CCmdMplayer() override;

    bool ParseVideoInfo();
    bool ParseAudioInfo();
    int CollectAudioIds(std::vector<std::wstring>& ids);
    int GetPercentPosition();
    // Appends a chunk as the reader thread does (also for tests).
    void OnOutput(const char* text) override;
    void OnError(const char* text) override;

    std::wstring OutputText();

    std::wstring demuxer, videoFormat;
    int videoBitrate = 0, videoWidth = 0, videoHeight = 0;
    double videoFps = 0, videoAspect = 0;
    int lengthMs = 0;
    int hasAudio = 0;
    std::wstring audioFormat;
    int audioBitrate = 0, audioRate = 0, audioChannels = 0;

  private:
    bool FindValue(const wchar_t* key, std::wstring& value);
    bool hasBuffer_ = false;
    std::wstring output_;
    platform::Utf8Decoder decoder_;
};

// Identifies a file with mplayer and fills the task; false when the player
// cannot run, finds no video stream, or does not finish within timeoutMs
// (its processes are then killed).
// `cancel`, when given, ends a probe under way as soon as it turns true
// (within a tenth of a second), as a failed probe.
bool ProbeMediaFile(const std::wstring& path, Task& task, int timeoutMs = 30000,
                    const std::atomic<bool>* cancel = nullptr);
