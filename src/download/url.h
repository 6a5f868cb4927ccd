#pragma once
// Splitting and canonicalising web addresses.
#include <string>

struct UrlParts {
    std::wstring scheme;  // lower case: "http" or "https"
    std::wstring host;
    int port = 0;       // the address's own, else the scheme's default
    std::wstring path;  // path with query, "/" at least
};

// Splits an absolute http or https address; false for anything else (no
// scheme, other schemes, empty host, bad port, blanks or controls in the host).
bool CrackUrl(const std::wstring& url, UrlParts& out);

// Decodes every %XX escape into its byte and reads the bytes as UTF-8; an
// escape that is not two hex digits stays as it is.
std::wstring CanonicalizeUrl(const std::wstring& url);

// The address as UTF-8 with every byte that may not stand in a request
// line (blanks, controls, non-ASCII) %-escaped.
std::string EscapeForRequest(const std::wstring& url);

// Resolves `reference` (an href or a Location) against the absolute address
// `base` by the standard algorithm for relative references: "watch?v=x",
// "../x", "//host/x", "/x", "?q" and "#f" all work, and dot segments are
// removed. Blanks and controls around the reference are dropped first, as
// browsers do. A reference with its own scheme is taken as it stands (with
// dot segments removed); the base's fragment never carries over. When `base`
// has no scheme, the reference is returned trimmed.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& reference);
