#pragma once
// Names of media files fetched from addresses of any site: what the server
// suggests, else what the address ends with.
#include <string>
#include <string_view>

// The file name a Content-Disposition header value suggests: the
// extended filename* parameter (UTF-8 or ISO-8859-1, percent-encoded) first,
// then filename (quoted or bare). Only the part after the last slash or
// backslash is kept. Empty when the header names nothing usable.
std::wstring ContentDispositionName(std::string_view header);

// The name of the file at `url` with the header's suggestion first, else the
// last path segment (percent escapes decoded), else the host.
std::wstring MediaFileName(std::string_view contentDisposition, const std::wstring& url);

// "clip.mp4" -> "clip" and "mp4" (lower case). A name ends in an extension
// only when what follows its last dot is 1 to 8 letters or digits and
// something precedes the dot.
void SplitFileName(const std::wstring& name, std::wstring& stem, std::wstring& extension);

// The usual extension of a media type ("video/mp4" -> "mp4"); empty when
// unknown.
std::wstring ExtensionForType(std::wstring_view contentType);

// Whether an answer of this Content-Type for this address is media to be
// downloaded as it is: a media type (IsMediaContentType), except that the
// generic binary types and a missing type count only with a media
// extension in the path.
bool IsMediaAnswer(std::wstring_view contentType, const std::wstring& url);
