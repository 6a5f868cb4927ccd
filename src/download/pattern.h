#pragma once
// Perl-syntax patterns over wide text (PCRE2, 32-bit code units). A pattern
// is compiled once and may then be used by several threads at once.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A host or domain name for a pattern: every dot escaped.
std::wstring EscapeDots(const std::wstring& name);

class CPattern {
  public:
    enum Flags : unsigned { kCaseless = 1, kUnicodeClasses = 2 };
    explicit CPattern(const std::wstring& pattern, unsigned flags = 0);
    ~CPattern();
    CPattern(const CPattern&) = delete;
    CPattern& operator=(const CPattern&) = delete;

    bool IsValid() const { return code_ != nullptr; }
    // Group 0 is the whole match; groups that did not take part are empty.
    bool FindFirst(const std::wstring& text, std::vector<std::wstring>& groups) const;
    bool FindLast(const std::wstring& text, std::vector<std::wstring>& groups) const;

    // Offsets of one group in the text; npos for a group that did not take part.
    struct Span {
        size_t begin = std::wstring::npos, end = std::wstring::npos;
        bool Matched() const { return begin != std::wstring::npos; }
        size_t Length() const { return Matched() ? end - begin : 0; }
    };
    // Calls `visit` for every occurrence, left to right, without overlaps;
    // groups[0] is the whole match. Returning false from `visit` ends the
    // walk. False when the pattern or the text is invalid or matching failed.
    // `validText` tells that the caller has made sure the text holds only
    // valid code points (no surrogates, nothing beyond U+10FFFF).
    using MatchVisitor = std::function<bool(const Span* groups, size_t count)>;
    bool FindAll(std::wstring_view text, const MatchVisitor& visit, bool validText = false) const;

  private:
    // Matches from `start`; 1 match, 0 none, -1 error.
    int MatchAt(const std::wstring& text, size_t start, bool checked, size_t& mStart, size_t& mEnd,
                std::vector<std::wstring>* groups) const;
    void* code_ = nullptr;
};
