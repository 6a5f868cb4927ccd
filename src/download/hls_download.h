#pragma once
// Downloading a finished HLS stream (RFC 8216) into one file.
//
// Entry point for site handlers and the run: DownloadHlsStream takes the
// address of a master or media playlist and writes the segments of the
// chosen variant, decrypted (AES-128) and in order, into the run's temporary
// file. A handler whose media address is a playlist sets CVideoSite::hls and
// extension "ts"; the run then calls this instead of the plain file
// download, and RemuxToMp4 once the .ts has its final name.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "download/http_transfer.h"

struct HlsOptions {
    // The tallest variant allowed (setting HighestQuality); 0 for the best.
    int maxHeight = 0;
    // Segments fetched at once.
    int parallel = 4;
    // The page the download is for: the key of a partial kept for resuming.
    std::wstring pageAddress;
};

// Where a stream download stands; read by other threads while it runs.
struct HlsProgress {
    std::atomic<uint64_t> segmentsDone{0}, segmentsTotal{0}, bytes{0};
};

// 0 when the whole stream is in `tempPath`; -1 with the owner's error set
// (a refused or malformed stream, a bad answer, a stop); or a network error
// code (kNetErrorBase + libcurl's). What was written stays resumable: the
// record beside `tempPath` says which segments are in it, and a later call
// for the same page and the same playlist goes on from the first missing one.
int DownloadHlsStream(IHttpOwner* owner, const std::wstring& playlistAddress,
                      const std::wstring& tempPath, const HlsOptions& options,
                      HlsProgress& progress);

// Copies the streams of a finished .ts into an .mp4 of the same name with
// ffmpeg, never replacing a file; the .ts is removed only once the .mp4 is
// in place. The .mp4's path, or empty when ffmpeg is not installed, failed
// or was stopped (the .ts then stays the result).
std::wstring RemuxToMp4(const std::wstring& tsPath, IHttpOwner* owner);
