#define PCRE2_CODE_UNIT_WIDTH 32
#include "download/pattern.h"

#include <pcre2.h>

#include "app/logging.h"
#include "platform/text.h"

static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32");

namespace {

pcre2_code* Code(void* p) {
    return static_cast<pcre2_code*>(p);
}

// Valid UTF-32 as PCRE2 sees it: no surrogates, nothing beyond U+10FFFF.
bool IsValidText(std::wstring_view text) {
    for (wchar_t c : text) {
        auto u = static_cast<uint32_t>(c);
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
    }
    return true;
}

}  // namespace

CPattern::CPattern(const std::wstring& pattern, unsigned flags) {
    uint32_t options = PCRE2_UTF;
    if (flags & kCaseless) options |= PCRE2_CASELESS;
    if (flags & kUnicodeClasses) options |= PCRE2_UCP;
    int err = 0;
    PCRE2_SIZE off = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                                     options, &err, &off, nullptr);
    if (!code) {
        LogErrorW("CPattern", L"pattern error %d at %d: %ls", err, static_cast<int>(off),
                  pattern.c_str());
        return;
    }
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    code_ = code;
}

CPattern::~CPattern() {
    if (code_) pcre2_code_free(Code(code_));
}

int CPattern::MatchAt(const std::wstring& text, size_t start, bool checked, size_t& mStart,
                      size_t& mEnd, std::vector<std::wstring>* groups) const {
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(Code(code_), nullptr);
    if (!md) return -1;
    uint32_t opts = checked ? PCRE2_NO_UTF_CHECK : 0;
    auto subject = reinterpret_cast<PCRE2_SPTR>(text.c_str());
    int rc = pcre2_match(Code(code_), subject, text.size(), start, opts, md, nullptr);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc =
            pcre2_match(Code(code_), subject, text.size(), start, opts | PCRE2_NO_JIT, md, nullptr);
    int result = 0;
    if (rc >= 0) {
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        mStart = ov[0];
        mEnd = ov[1];
        if (groups) {
            uint32_t n = pcre2_get_ovector_count(md);
            groups->assign(n, std::wstring());
            for (uint32_t i = 0; i < n; ++i)
                if (ov[2 * i] != PCRE2_UNSET)
                    (*groups)[i] = text.substr(ov[2 * i], ov[2 * i + 1] - ov[2 * i]);
        }
        result = 1;
    } else if (rc != PCRE2_ERROR_NOMATCH) {
        LogError("CPattern", "match error %d", rc);
        result = -1;
    }
    pcre2_match_data_free(md);
    return result;
}

bool CPattern::FindFirst(const std::wstring& text, std::vector<std::wstring>& groups) const {
    if (!code_ || !IsValidText(text)) return false;
    size_t s, e;
    return MatchAt(text, 0, true, s, e, &groups) == 1;
}

bool CPattern::FindLast(const std::wstring& text, std::vector<std::wstring>& groups) const {
    if (!code_ || !IsValidText(text)) return false;
    size_t lastStart = std::wstring::npos;
    FindAll(
        text,
        [&](const Span* spans, size_t) {
            lastStart = spans[0].begin;
            return true;
        },
        true);
    size_t s, e;
    return lastStart != std::wstring::npos && MatchAt(text, lastStart, true, s, e, &groups) == 1;
}

bool CPattern::FindAll(std::wstring_view text, const MatchVisitor& visit, bool validText) const {
    if (!code_ || (!validText && !IsValidText(text))) return false;
    std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
        pcre2_match_data_create_from_pattern(Code(code_), nullptr), &pcre2_match_data_free);
    pcre2_match_data* md = data.get();
    if (!md) return false;
    const uint32_t n = pcre2_get_ovector_count(md);
    std::vector<Span> spans(n);
    static const wchar_t kEmpty[] = L"";
    auto subject = reinterpret_cast<PCRE2_SPTR>(text.data() ? text.data() : kEmpty);
    bool ok = true;
    size_t pos = 0;
    while (pos <= text.size()) {
        int rc =
            pcre2_match(Code(code_), subject, text.size(), pos, PCRE2_NO_UTF_CHECK, md, nullptr);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
            rc = pcre2_match(Code(code_), subject, text.size(), pos,
                             PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT, md, nullptr);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) {
            LogError("CPattern", "match error %d", rc);
            ok = false;
            break;
        }
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        for (uint32_t i = 0; i < n; ++i) {
            bool set = ov[2 * i] != PCRE2_UNSET;
            spans[i].begin = set ? ov[2 * i] : std::wstring::npos;
            spans[i].end = set ? ov[2 * i + 1] : std::wstring::npos;
        }
        if (!visit(spans.data(), n)) break;
        // An empty match moves on by one character (one code unit in UTF-32).
        pos = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
    return ok;
}

std::wstring EscapeDots(const std::wstring& name) {
    std::wstring out;
    for (wchar_t c : name) {
        if (c == L'.') out += L'\\';
        out += c;
    }
    return out;
}
