#pragma once
// Recognising the site of a page address and the text and file-name helpers
// that every site handler shares.
#include <string>

enum SiteKind : int {
    kSiteUnknown = -1,
    kSiteYouTube = 0,
    kSiteGoogleVideo = 1,
    kSiteMetaCafe = 2,
    kSiteNicoVideo = 3,
};

int GetSiteKind(const std::wstring& address);
// The subfolder of the output folder for a kind; empty for an unknown one.
std::wstring SiteFolderName(int kind);

// The value after `key` up to the next '&' or the end; the key counts only
// past the first character, and an empty value is no value.
bool ExtractQueryValue(const std::wstring& text, const std::wstring& key, std::wstring& value);

// One character reference, '&' and ';' included.
std::wstring DecodeEntity(const std::wstring& ref);
std::wstring DecodeEntities(const std::wstring& text);

// Replaces : / \ * ? " < > | with the replacement.
void ReplaceIllegalFileChars(std::wstring& text, wchar_t replacement);

// Makes a title or id safe as one file-name component: the nine characters
// replaced, NUL and controls replaced, "." and ".." never left alone; an
// empty name stays empty.
std::wstring MakeSafeFileName(std::wstring name, wchar_t replacement);

// Cuts `name` on a character boundary so that name + suffix fits `maxBytes`
// bytes of UTF-8.
std::wstring FitNameBytes(const std::wstring& name, const std::wstring& suffix, size_t maxBytes);

// folder/name.ext, or name_001.ext ... name_999.ext when taken; the folder
// is created first.
std::wstring MakeUniquePath(const std::wstring& folder, const std::wstring& name,
                            const std::wstring& extension);

// The design's length rule for an output name: room = 252 - folder length.
// False when there is no room; else `name` is cut to the room.
bool FitNameToFolder(const std::wstring& outputFolder, std::wstring& name);

// Final and temporary path of a download: the name made safe and cut to the
// folder's room and to 255 bytes (".cvt" and any "_NNN" included), then
// made unique in the site's subfolder. False when the folder leaves no room.
bool BuildOutputPaths(const std::wstring& outputFolder, const std::wstring& siteFolder,
                      std::wstring baseName, const std::wstring& extension, std::wstring& finalPath,
                      std::wstring& tempPath);
