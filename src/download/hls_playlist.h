#pragma once
// Reading HLS playlists (master and media) of finished streams. Every
// address in them is made absolute against the playlist's own address.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HlsVariant {
    std::string uri;
    uint64_t bandwidth = 0;
    int width = 0, height = 0;  // 0 when RESOLUTION is absent
};

struct HlsKey {
    enum Method { kNone, kAes128, kRefused } method = kNone;
    std::string uri;
    bool hasIv = false;
    unsigned char iv[16] = {};
    std::string refusal;  // what was refused, for the message
};

struct HlsByteRange {
    bool set = false;
    uint64_t length = 0, offset = 0;
};

struct HlsSegment {
    std::string uri;
    HlsByteRange range;
    uint64_t sequence = 0;  // media sequence number
    HlsKey key;
    // Index into HlsMediaPlaylist::maps, -1 without an initialisation section.
    int map = -1;
    bool discontinuity = false;
};

struct HlsMap {
    std::string uri;
    HlsByteRange range;
    HlsKey key;
};

struct HlsMediaPlaylist {
    bool endList = false;
    std::vector<HlsSegment> segments;
    std::vector<HlsMap> maps;
};

struct HlsPlaylist {
    bool master = false;
    std::vector<HlsVariant> variants;
    HlsMediaPlaylist media;
};

// More segments than this are refused.
inline constexpr size_t kMaxHlsSegments = 100000;

// Parses `text` fetched from `address`. Nullopt with `error` set when it is
// not a playlist or breaks a limit.
std::optional<HlsPlaylist> ParseHlsPlaylist(const std::string& text, const std::string& address,
                                            std::string& error);

// The variant of the highest bandwidth whose height is within `maxHeight`
// (0: any); when none is, the one of the least height. -1 for no variants.
int ChooseHlsVariant(const std::vector<HlsVariant>& variants, int maxHeight);

// `reference` made absolute against `base` (RFC 3986); empty when it cannot be.
std::string ResolveAddress(const std::string& base, const std::string& reference);
