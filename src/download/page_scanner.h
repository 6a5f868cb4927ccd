#pragma once
// Finding the video of an ordinary web page. The markup is searched with
// patterns; JSON-LD blocks are read with the JSON library. Nothing here
// touches the network.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CPageCandidate {
    // Where the address was found, in the order they are preferred.
    enum Source { kVideoTag, kOpenGraph, kTwitterStream, kJsonLd, kLinkAlternate };
    std::wstring url;  // absolute http or https address
    Source source = kVideoTag;
    bool hls = false;  // an HLS playlist rather than a progressive file
    int height = 0;    // declared height in pixels, 0 when none was given
};

struct CPageScan {
    // Sorted by source, each source in page order.
    std::vector<CPageCandidate> candidates;
    std::wstring ogTitle, title;  // entities decoded, blanks folded
    // JSON-LD blocks that were not valid JSON (skipped).
    size_t badJsonBlocks = 0;
};

// A page holds at most this many candidates; the rest are ignored.
inline constexpr size_t kMaxPageCandidates = 100000;

// `pageUrl` is the page's own address after redirects; relative addresses
// resolve against the first <base href> (itself resolved against pageUrl),
// else against pageUrl. `validText`: the caller knows the text holds only
// valid code points.
CPageScan ScanPage(std::wstring_view page, const std::wstring& pageUrl, bool validText = false);

// The candidate to download: the progressive file of the highest declared
// height (among equals the first), else the first HLS stream; null when the
// scan found none.
const CPageCandidate* ChooseCandidate(const CPageScan& scan);

// Character references of HTML: the common named ones, decimal and
// hexadecimal numbers. An unknown name stays as written; a number that is
// no character becomes U+FFFD.
std::wstring DecodeHtmlEntities(std::wstring_view text);

// application/vnd.apple.mpegurl or application/x-mpegURL (any case,
// parameters ignored).
bool IsHlsType(std::wstring_view contentType);
// The extension of an address's last path segment (lower case, without the
// dot; empty when none); query and fragment are not part of it.
std::wstring UrlExtension(const std::wstring& url);
// mp4, webm, mkv, m4a, mp3, m3u8 and the like.
bool IsMediaExtension(const std::wstring& extension);
