#include "media/cmd_mplayer.h"

#include <algorithm>
#include <cstdlib>

#include "app/logging.h"
#include "media/cmd_opts.h"
#include "media/command_line.h"

CCmdMplayer::~CCmdMplayer() {
    Stop();
}

void CCmdMplayer::OnOutput(const char* text) {
    std::lock_guard<std::mutex> g(lock_);
    // One decoder for the whole stream: a character split between two
    // chunks is joined again.
    std::wstring chunk = decoder_.Feed(text);
    if (!hasBuffer_) {
        hasBuffer_ = true;
        output_.reserve(kBufferChars);
    }
    if (chunk.size() > kBufferChars) return;
    size_t room = kBufferChars - output_.size();
    output_.append(chunk, 0, std::min(room, chunk.size()));
    if (output_.size() >= kBufferChars) output_ = chunk;
}

void CCmdMplayer::OnError(const char* text) {
    LogErrorW("CCmdMplayer", L"[ERROR WHEN MPLAYER] %ls\n", platform::FromUtf8(text).c_str());
}

std::wstring CCmdMplayer::OutputText() {
    std::lock_guard<std::mutex> g(lock_);
    return output_;
}

bool CCmdMplayer::FindValue(const wchar_t* key, std::wstring& value) {
    std::lock_guard<std::mutex> g(lock_);
    if (output_.empty()) return false;
    size_t at = output_.rfind(key);
    if (at == std::wstring::npos) return false;
    size_t sep = output_.find(L'=', at);
    if (sep == std::wstring::npos || sep == 0) return false;
    size_t lf = output_.find(L'\n', sep);
    if (lf == std::wstring::npos) return false;
    size_t len = lf - sep - 1;
    // Lines end in CR LF on the tool's side; one character before the LF
    // goes, and only a CR here.
    if (len > 0 && output_[lf - 1] == L'\r') --len;
    value = output_.substr(sep + 1, len);
    return true;
}

namespace {
int ToInt(const std::wstring& s) {
    return static_cast<int>(std::wcstol(s.c_str(), nullptr, 10));
}
double ToDouble(const std::wstring& s) {
    return std::strtod(platform::ToUtf8(s).c_str(), nullptr);
}
}  // namespace

bool CCmdMplayer::ParseVideoInfo() {
    std::wstring v;
    if (FindValue(L"ID_DEMUXER", v)) demuxer = v;
    bool found = FindValue(L"ID_VIDEO_FORMAT", v);
    if (found) videoFormat = v;
    if (FindValue(L"ID_VIDEO_BITRATE", v)) videoBitrate = ToInt(v);
    if (FindValue(L"ID_VIDEO_HEIGHT", v)) videoHeight = ToInt(v);
    if (FindValue(L"ID_VIDEO_WIDTH", v)) videoWidth = ToInt(v);
    if (FindValue(L"ID_VIDEO_FPS", v)) videoFps = ToDouble(v);
    if (FindValue(L"ID_VIDEO_ASPECT", v)) videoAspect = ToDouble(v);
    lengthMs = FindValue(L"ID_LENGTH", v) ? static_cast<int>(ToDouble(v) * 1000) : 0;
    return found;
}

bool CCmdMplayer::ParseAudioInfo() {
    std::wstring v;
    if (FindValue(L"ID_AUDIO_FORMAT", v)) {
        audioFormat = v;
        hasAudio = 1;
    }
    if (FindValue(L"ID_AUDIO_BITRATE", v)) audioBitrate = ToInt(v);
    if (FindValue(L"ID_AUDIO_RATE", v)) audioRate = ToInt(v);
    if (FindValue(L"ID_AUDIO_NCH", v)) audioChannels = ToInt(v);
    return true;
}

int CCmdMplayer::CollectAudioIds(std::vector<std::wstring>& ids) {
    std::lock_guard<std::mutex> g(lock_);
    int count = 0;
    size_t from = 0;
    const std::wstring key = L"ID_AUDIO_ID";
    while (true) {
        size_t at = output_.find(key, from);
        if (at == std::wstring::npos) break;
        size_t sep = output_.find(L'=', at);
        if (sep == std::wstring::npos) break;
        size_t lf = output_.find(L'\n', sep);
        if (lf == std::wstring::npos) break;
        size_t len = lf - sep - 1;
        if (len > 0 && output_[lf - 1] == L'\r') --len;
        ids.push_back(output_.substr(sep + 1, len));
        ++count;
        from = sep;
    }
    return count;
}

int CCmdMplayer::GetPercentPosition() {
    std::lock_guard<std::mutex> g(lock_);
    if (!hasBuffer_) return 0;
    if (output_.size() < 128) return -1;
    std::wstring tail = output_.substr(output_.size() - 128);
    const std::wstring key = L"ANS_PERCENT_POSITION=";
    // The newest answer whose line has ended: older ones lag behind a seek,
    // an unended one may still lack digits.
    size_t at = tail.rfind(key);
    while (at != std::wstring::npos && tail.find(L'\n', at) == std::wstring::npos)
        at = at == 0 ? std::wstring::npos : tail.rfind(key, at - 1);
    if (at == std::wstring::npos) return -1;
    return ToInt(tail.substr(at + key.size()));
}

bool ProbeMediaFile(const std::wstring& path, Task& task, int timeoutMs,
                    const std::atomic<bool>* cancel) {
    // A relative name that starts with '-' would read as an option.
    std::wstring arg = (!path.empty() && path[0] == L'-') ? L"./" + path : path;
    std::wstring cmd = platform::FormatW(L"\"%ls\" \"%ls\" -frames 0 -vo null -ao null -identify",
                                         media::EscapeForQuotes(PlayerProgramPath()).c_str(),
                                         media::EscapeForQuotes(arg).c_str());
    CCmdMplayer mp;
    if (!mp.Start(cmd)) return false;
    // Waited in slices so that a cancel is seen soon.
    constexpr int kSliceMs = 100;
    for (int waited = 0; !mp.WaitForReader(std::min(kSliceMs, timeoutMs - waited));) {
        waited += kSliceMs;
        const bool cancelled = cancel && cancel->load();
        if (!cancelled && waited < timeoutMs) continue;
        if (cancelled)
            LogInfoW("CCmdMplayer", L"Probe of %ls cancelled", path.c_str());
        else
            LogErrorW("CCmdMplayer", L"Probe of %ls timed out", path.c_str());
        mp.KillChildProcesses();
        mp.Stop();
        return false;
    }
    if (!mp.ParseVideoInfo()) return false;
    mp.ParseAudioInfo();
    task.source = path;
    task.durationMs = task.cutEndMs = mp.lengthMs;
    task.videoBitrate = mp.videoBitrate;
    task.fps = mp.videoFps;
    task.width = mp.videoWidth;
    task.height = mp.videoHeight;
    task.videoFormat = mp.videoFormat;
    task.hasAudio = mp.hasAudio;
    task.audioFormat = mp.audioFormat;
    task.audioBitrate = mp.audioBitrate;
    task.audioRate = mp.audioRate;
    task.audioChannels = mp.audioChannels;
    if (mp.hasAudio) {
        task.audioTrackIds.clear();
        mp.CollectAudioIds(task.audioTrackIds);
    }
    task.onlinePending = 0;
    return true;
}
