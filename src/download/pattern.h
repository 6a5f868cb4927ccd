#pragma once
// Perl-syntax patterns over wide text (PCRE2, 32-bit code units). A pattern
// is compiled once and may then be used by several threads at once.
#include <memory>
#include <string>
#include <vector>

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

  private:
    // Matches from `start`; 1 match, 0 none, -1 error.
    int MatchAt(const std::wstring& text, size_t start, bool checked, size_t& mStart, size_t& mEnd,
                std::vector<std::wstring>* groups) const;
    void* code_ = nullptr;
};
