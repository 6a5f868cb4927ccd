#pragma once
// One entry of the task list or of the history list. Probe, history and the
// task list all fill and read it.
#include <cstdint>
#include <string>
#include <vector>

struct Task {
    std::wstring source;
    int32_t durationMs = 0;
    int32_t cutStartMs = 0;
    int32_t cutEndMs = 0;
    std::wstring videoFormat;
    double videoBitrate = 0;
    double fps = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t hasAudio = 0;
    std::wstring audioFormat;
    int32_t audioBitrate = 0;
    int32_t audioRate = 0;
    int32_t audioChannels = 0;
    std::vector<std::wstring> audioTrackIds;
    std::wstring originAddress;
    std::wstring historyPageAddress;
    std::wstring historySizeText;
    std::wstring historyDateText;
    int32_t onlinePending = 0;
    int32_t siteKind = -2;
    // A failed or stopped download's part kept for a resume; removed with the row.
    std::wstring partialPath;
};
