#pragma once
// Collecting video page addresses from a text or HTML file, local or on the
// web: every YouTube watch address, then every Google Video play address.
// The import dialog only calls ImportAddresses; no widget lives here.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A local file larger than this is not read: it finds nothing, like an
// unreadable one.
inline constexpr uint64_t kMaxImportFileBytes = 256ull << 20;
// A web file that announces or delivers more than this fails to download.
inline constexpr uint64_t kMaxImportDownloadBytes = kMaxImportFileBytes;

// Fetches http://host + pathWithQuery on port 80 into outputPath with a
// plain request of its own (redirects followed). False when the request
// fails, the answer has no Content-Length, the file cannot be written, fewer
// bytes arrive than announced, the size bound is passed, or `cancel` is set.
// Logs nothing.
bool DownloadToFile(const std::wstring& host, const std::wstring& pathWithQuery,
                    const std::wstring& outputPath, const std::atomic<bool>* cancel = nullptr);

// The file's bytes as text: UTF-16 LE or BE, or UTF-8, when it starts with
// the matching byte-order mark (which is dropped), else UTF-8; invalid input
// becomes U+FFFD.
std::wstring DecodeImportText(std::string_view bytes);

// The addresses found in a text, all YouTube ones first, then all Google
// Video ones, each group in text order with duplicates kept; then every
// link to a media file (.mp4 .webm .mkv .m4a .mp3 .m3u8) in an attribute or
// as an absolute address, resolved against `base` (the page's address;
// empty: only absolute links count), each once.
std::vector<std::wstring> ExtractAddressesFromText(const std::wstring& text,
                                                   const std::wstring& base = L"");

// ExtractAddressesFromText over the file at path; empty when the file cannot
// be read, is not a regular file or is larger than kMaxImportFileBytes.
std::vector<std::wstring> ExtractAddresses(const std::wstring& path,
                                           const std::wstring& base = L"");

// How many of `imported` are the same video (AddressKey) as one of `known`,
// the page addresses of the download history.
size_t CountAlreadyDownloaded(const std::vector<std::wstring>& imported,
                              const std::vector<std::wstring>& known);

// A page holds at most this many media links that are taken.
inline constexpr size_t kMaxImportedLinks = 65536;

// What the import dialog does with its source text: an http or https
// address is downloaded into a temporary file (prefix "~cv" in $TMPDIR,
// else /tmp), searched with its final address as the base and deleted,
// whatever the download's result (http as DownloadToFile; https on the
// address's own port and also without a Content-Length); anything else is
// searched as a local file path.
std::vector<std::wstring> ImportAddresses(const std::wstring& source,
                                          const std::atomic<bool>* cancel = nullptr);
