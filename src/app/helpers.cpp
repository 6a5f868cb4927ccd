#include "app/helpers.h"

#include <langinfo.h>
#include <locale.h>

#include <climits>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/folders.h"
#include "platform/text.h"
#include "version.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The C locale, for texts that must read the same in every user locale.
locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

std::wstring FormatTm(const char* fmt, const std::tm& tm) {
    char buf[128];
    locale_t c = CLocale();
    size_t n =
        c ? strftime_l(buf, sizeof buf, fmt, &tm, c) : std::strftime(buf, sizeof buf, fmt, &tm);
    return platform::FromUtf8(std::string_view(buf, n));
}

}  // namespace

void CreateFolderTree(const std::wstring& path) {
    // Walks up to the first folder that exists, then creates the missing
    // ones from the top down. One trailing '/' of each level is ignored.
    std::vector<std::wstring> missing;
    std::wstring cur = path;
    while (!cur.empty()) {
        if (cur.back() == L'/') cur.pop_back();
        if (cur.empty() || platform::PathExists(cur)) break;
        missing.push_back(cur);
        size_t slash = cur.rfind(L'/');
        if (slash == std::wstring::npos) break;
        cur.resize(slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) platform::MakeDirectory(*it);
}

// Steps, in order:
//  1. each of * ? " < > | becomes the replacement;
//  2. each ':' becomes the replacement: a path here has no drive letter, so
//     a Windows-style "C:" prefix is nothing special and loses its colon too;
//  3. from the left, a separator ('\' or '/') directly followed by another
//     one becomes the replacement (the scan goes on at the second);
//  4. a path that does not begin with a separator is put under the root "/";
//  5. each '\' becomes '/'.
std::wstring SanitizePath(const std::wstring& path, wchar_t replacement) {
    std::wstring s = path;
    for (auto& c : s) {
        switch (c) {
            case L'*':
            case L'?':
            case L'"':
            case L'<':
            case L'>':
            case L'|':
            case L':':
                c = replacement;
                break;
            default:
                break;
        }
    }
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (IsSeparator(s[i]) && IsSeparator(s[i + 1])) s[i] = replacement;
    if (s.empty() || !IsSeparator(s[0])) s.insert(s.begin(), L'/');
    for (auto& c : s)
        if (c == L'\\') c = L'/';
    return s;
}

// The buffer holds kMaxPath characters with its terminator. A result that
// does not fit (the root put in front of a long relative path) is cut to
// kMaxPath - 1 characters.
void SanitizePath(wchar_t* path, wchar_t replacement) {
    if (!path) return;
    std::wstring out = SanitizePath(std::wstring(path, wcsnlen(path, kMaxPath - 1)), replacement);
    if (out.size() > kMaxPath - 1) out.resize(kMaxPath - 1);
    std::wmemcpy(path, out.c_str(), out.size() + 1);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    std::wstring f = folder;
    while (!f.empty() && IsBlank(f.back())) f.pop_back();
    while (!f.empty() && IsSeparator(f.back())) f.pop_back();
    return f + L"/" + name;
}

std::wstring FileTitle(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"/\\") + 1);
    if (size_t dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"/\\");
    if (slash == std::wstring::npos) return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

int GetProgramVersion(int& major, int& minor, int& build) {
    major = CLIPVANE_VERSION_MAJOR;
    minor = CLIPVANE_VERSION_MINOR;
    build = CLIPVANE_VERSION_PATCH;
    return 0;
}

std::wstring FormatDuration(int ms) {
    int hours = ms / 3600000;
    if (hours <= 0) return platform::FormatW(L"00:%02d:%02d", ms / 60000, (ms / 1000) % 60);
    return platform::FormatW(L"%02d:%02d:%02d", hours, (ms / 60000) % 60, (ms / 1000) % 60);
}

// Month names and AM/PM are those of the C locale (the US-English ones),
// so the history list reads the same in every user locale.
std::wstring FormatShortDate(std::time_t when, std::time_t now) {
    std::tm nowTm{};
    std::tm whenTm{};
    if (!localtime_r(&now, &nowTm) || !localtime_r(&when, &whenTm)) return {};

    std::tm midnight = nowTm;
    midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
    midnight.tm_isdst = -1;
    std::tm newYear = midnight;
    newYear.tm_mon = 0;
    newYear.tm_mday = 1;
    newYear.tm_isdst = -1;
    std::time_t todayStart = mktime(&midnight);
    std::time_t yearStart = mktime(&newYear);

    if (when > todayStart) return FormatTm("%I:%M %p", whenTm);
    if (when > yearStart) return FormatTm("%b %d", whenTm);
    return FormatTm("%m/%d/%Y", whenTm);
}

std::wstring FormatShortDate(std::time_t when) {
    return FormatShortDate(when, std::time(nullptr));
}

namespace {

struct NumericConventions {
    std::wstring decimalPoint = L".";
    std::wstring thousandsSep;
    int group = 0;  // 0: no grouping
};

std::wstring LocaleText(const char* s) {
    if (!s) return {};
    // Debian locales are UTF-8; bytes of another code set decode to U+FFFD.
    return platform::FromUtf8(s);
}

NumericConventions ReadConventions(const char* localeName) {
    NumericConventions nc;
    locale_t loc = newlocale(LC_NUMERIC_MASK, localeName ? localeName : "", nullptr);
    if (!loc) return nc;  // unknown locale: the C conventions
    std::wstring dp = LocaleText(nl_langinfo_l(RADIXCHAR, loc));
    if (!dp.empty()) nc.decimalPoint = dp;
    nc.thousandsSep = LocaleText(nl_langinfo_l(THOUSEP, loc));
    const char* grouping = nl_langinfo_l(GROUPING, loc);
    if (grouping && grouping[0] > 0 && grouping[0] != CHAR_MAX) nc.group = grouping[0];
    freelocale(loc);
    return nc;
}

// Adds one to a string of decimal digits; returns false when it overflows
// ("999" becomes "000").
bool IncrementDigits(std::wstring& digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != L'9') {
            ++digits[i];
            return true;
        }
        digits[i] = L'0';
    }
    return false;
}

}  // namespace

// Rounds half away from zero to the number of decimals, or pads with zeros;
// leading zeros of the integer part go (one stays) and a result of zero loses
// its minus sign. Only the first grouping size is used, repeated: "3;2"
// groups as 3.
std::wstring FormatGroupedNumber(const std::wstring& number, int decimals, const char* localeName) {
    if (decimals < -1) return number;
    size_t i = 0;
    bool negative = false;
    if (i < number.size() && number[i] == L'-') {
        negative = true;
        ++i;
    }
    size_t intStart = i;
    while (i < number.size() && number[i] >= L'0' && number[i] <= L'9') ++i;
    std::wstring intDigits = number.substr(intStart, i - intStart);
    std::wstring fracDigits;
    if (i < number.size() && number[i] == L'.') {
        size_t fracStart = ++i;
        while (i < number.size() && number[i] >= L'0' && number[i] <= L'9') ++i;
        fracDigits = number.substr(fracStart, i - fracStart);
    }
    if (i != number.size() || (intDigits.empty() && fracDigits.empty())) return number;

    size_t places = decimals == -1 ? fracDigits.size() : static_cast<size_t>(decimals);
    // The output limit of the system call this mirrors: 3 x length + 99.
    const size_t limit = 3 * number.size() + 99;
    if (places + 2 > limit) return number;

    if (fracDigits.size() > places) {
        bool roundUp = fracDigits[places] >= L'5';
        fracDigits.resize(places);
        if (roundUp && !IncrementDigits(fracDigits)) {
            if (!IncrementDigits(intDigits)) intDigits.insert(intDigits.begin(), L'1');
        }
    } else {
        fracDigits.append(places - fracDigits.size(), L'0');
    }
    size_t nz = intDigits.find_first_not_of(L'0');
    intDigits = nz == std::wstring::npos ? L"0" : intDigits.substr(nz);
    if (intDigits == L"0" && fracDigits.find_first_not_of(L'0') == std::wstring::npos)
        negative = false;

    NumericConventions nc = ReadConventions(localeName);
    std::wstring out;
    if (negative) out += L'-';
    if (nc.group > 0 && !nc.thousandsSep.empty()) {
        size_t n = intDigits.size();
        size_t g = static_cast<size_t>(nc.group);
        for (size_t k = 0; k < n; ++k) {
            if (k > 0 && (n - k) % g == 0) out += nc.thousandsSep;
            out += intDigits[k];
        }
    } else {
        out += intDigits;
    }
    if (places > 0) out += nc.decimalPoint + fracDigits;
    if (out.size() + 1 > limit) return number;
    return out;
}

std::wstring FormatGroupedNumber(const std::wstring& number, int decimals) {
    return FormatGroupedNumber(number, decimals, "");
}
