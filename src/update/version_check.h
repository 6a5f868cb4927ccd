#pragma once
// The version check: the "CheckVersionThread" downloads the version file of
// the vendor's site, compares it with the running version and posts the
// result (MsgNewVersion, MsgNoNewVersion, MsgCheckFailed) to `resultWindow`.
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/post_message.h"

struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    bool operator==(const ProgramVersion&) const = default;
};

// True when `remote` is newer than `running`: a greater major; equal majors
// and a greater minor; or equal majors and minors and a greater build.
bool IsNewerVersion(const ProgramVersion& remote, const ProgramVersion& running);

// The message parameters of a version: the first packs major in its low 16
// bits and minor above them, the second is the build.
uintptr_t PackVersionWord(const ProgramVersion& v);
ProgramVersion UnpackVersion(uintptr_t wParam, intptr_t lParam);

// "major_version", "minor_version" and "build" of section "Gerneral"; a
// missing key (or file) reads as 0.
ProgramVersion ReadVersionFile(const std::wstring& path);

// Downloads `address` into the file at `path` (created or truncated): 1 on
// success, 0 on failure, logged under "CCheckUpdateDlg::GetFile". An answer
// outside 200-299, one larger than kMaxVersionFileBytes or one slower than
// the time-outs fails.
int GetVersionFile(const std::wstring& address, const std::wstring& path);
inline constexpr size_t kMaxVersionFileBytes = 64 * 1024;
// The whole exchange must end within this time (30 s unless changed); the
// connection within half of it.
void SetVersionCheckTimeout(std::chrono::milliseconds limit);

// The local copy: "version.ini" in the data folder.
std::wstring VersionFilePath();

// `resultWindow`: the one target the check posts its result to, or null.
// Setting and clearing wait for a post in progress, so once ClearResultWindow
// returns nothing reaches the old target any more.
void SetResultWindow(platform::IPostTarget* target);
void ClearResultWindow();
// Clears it only while it is `target`.
void ClearResultWindowIf(platform::IPostTarget* target);
// Posts to `resultWindow`; false (nothing posted) when it is null.
bool PostToResultWindow(unsigned msg, uintptr_t wParam, intptr_t lParam);

// Runs the check on a thread of its own with its own copy of `running`.
void StartVersionCheck(const ProgramVersion& running);
// The body of the thread, for a caller that runs it itself; returns 0.
int CheckVersionThread(ProgramVersion running);
// Ends the checks still running at once (their result is dropped) and waits
// for them up to `limit`; true when none is left. For shutdown.
bool StopVersionChecks(std::chrono::milliseconds limit);
// Waits up to `limit` for the running checks to end by themselves.
bool WaitForVersionChecks(std::chrono::milliseconds limit);
