#pragma once
// A downloaded video as the history keeps it, for tests that fill a history.
#include <string>

#include "media/task.h"

namespace testsupport {

// A 65 s FLV1 video of 320 x 240 from site `kind`, stored at `path`, whose
// page was `page`.
inline Task HistoryTask(int kind, const std::wstring& path, const std::wstring& page = L"") {
    Task t;
    t.source = path;
    t.siteKind = kind;
    t.originAddress = page;
    t.videoFormat = L"flv1";
    t.width = 320;
    t.height = 240;
    t.cutEndMs = 65000;
    return t;
}

}  // namespace testsupport
