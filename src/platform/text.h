#pragma once
// Wide text is std::wstring (UTF-32 on glibc); 8-bit text is UTF-8.
// Conversions never throw; invalid input becomes U+FFFD.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr wchar_t kReplacementChar = 0xFFFD;

std::wstring FromUtf8(std::string_view utf8);
std::string ToUtf8(std::wstring_view wide);

// Appends the UTF-8 form of one code point; invalid ones (surrogates, beyond
// U+10FFFF) are written as U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// Decodes UTF-8 that arrives in pieces: an incomplete sequence at the end of
// one piece is carried over to the next.
// Decodes as much of the n bytes at p as forms complete sequences onto the
// end of out and returns the bytes used; unless `final`, an incomplete but so
// far valid sequence at the end is left for the next piece. The maximal valid
// part of a broken sequence becomes one U+FFFD.
size_t DecodeUtf8Span(const unsigned char* p, size_t n, std::wstring& out, bool final);

// True for characters that act on a terminal or hide or disguise text: C0
// and C1 controls, DEL, bidirectional embeddings, overrides, isolates and
// marks, zero-width and invisible characters, line and paragraph separators,
// and code points that are not characters (surrogates, beyond U+10FFFF).
bool IsHiddenOrControl(char32_t c);

class Utf8Decoder {
  public:
    // Decodes a piece and appends the complete characters to out.
    void Feed(std::string_view piece, std::wstring& out);
    std::wstring Feed(std::string_view piece) {
        std::wstring out;
        Feed(piece, out);
        return out;
    }
    // Ends the stream: a pending incomplete sequence becomes U+FFFD.
    void Finish(std::wstring& out);
    bool HasPending() const { return pendingLen_ != 0; }
    void Reset() { pendingLen_ = 0; }

  private:
    unsigned char pending_[4] = {};
    int pendingLen_ = 0;
};

// The text without any of `chars` at either end; spaces and tabs unless
// told otherwise. The result views the argument's characters.
std::string_view Trim(std::string_view s, std::string_view chars = " \t");
std::wstring_view Trim(std::wstring_view s, std::wstring_view chars = L" \t");

// ASCII-only case folding, as used for key and value names.
std::wstring AsciiLower(std::wstring_view s);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// printf into a wide or narrow string; the result is never longer than
// maxChars (0 = no limit) and the formatting never overruns.
std::string FormatV(size_t maxChars, const char* fmt, va_list ap);
std::wstring FormatWV(size_t maxChars, const wchar_t* fmt, va_list ap);
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::wstring FormatW(const wchar_t* fmt, ...);

}  // namespace platform
