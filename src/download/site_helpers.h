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
    // Any other http or https address, and https addresses of the four.
    kSiteOther = 4,
};

// 0..3 for an http address of one of the four sites, kSiteOther for any
// other http or https address, kSiteUnknown for anything else.
int GetSiteKind(const std::wstring& address);
// The profile (history key and subfolder) of an address of another site:
// its host in lower case, without a port and a leading "www.", safe as a
// folder name. Empty when the address has no host.
std::wstring HostProfileName(const std::wstring& address);

// The key by which two addresses are the same video, for duplicate checks:
// blanks around the address dropped, scheme and host in lower case, the
// scheme's own port and the fragment dropped, and on the hosts of the four
// sites a leading "www." dropped. The path and query keep their case (video
// ids are case-sensitive). Text that is no web address is its trimmed self.
std::wstring AddressKey(const std::wstring& address);
// The address as it is added: without the blanks around it.
std::wstring TrimAddress(const std::wstring& address);

// The value after `key` up to the next '&' or the end; the key counts only
// past the first character, and an empty value is no value.
bool ExtractQueryValue(const std::wstring& text, const std::wstring& key, std::wstring& value);

// One character reference, '&' and ';' included.
std::wstring DecodeEntity(const std::wstring& ref);
std::wstring DecodeEntities(const std::wstring& text);

// Replaces : / \ * ? " < > | with the replacement.
void ReplaceIllegalFileChars(std::wstring& text, wchar_t replacement);

// Makes a title or id safe as one file-name component: the nine characters,
// controls (C0, DEL, C1) and invisible or direction-changing marks replaced;
// leading dots, or an empty name, become one replacement character, so the
// file is never hidden.
std::wstring MakeSafeFileName(std::wstring name, wchar_t replacement);

// Cuts `name` on a character boundary so that name + suffix fits `maxBytes`
// bytes of UTF-8.
std::wstring FitNameBytes(const std::wstring& name, const std::wstring& suffix, size_t maxBytes);

// Reserves a download's name in `folder` (created first): the first of
// name.ext, name_001.ext ... name_999.ext (from number `first` on) whose final
// file does not exist and whose temporary file, final + ".cvt", this call
// could create, empty, exclusively and not through a link, or take over when
// no running download holds it (see partial_file.h; one kept for resuming
// `pageAddress` keeps its bytes). The temporary file stays locked by this
// process until it is finished or discarded. The final path, or empty when
// no name is free.
std::wstring ReserveOutputPath(const std::wstring& folder, const std::wstring& name,
                               const std::wstring& extension, int first = 0,
                               const std::wstring& pageAddress = std::wstring());

// Why nothing can be written into `folder` (made first if missing): EROFS,
// EACCES, ENOTDIR (it or a folder above it is a file) or another errno of
// the attempt; 0 when a file could be made there.
int FolderWriteError(const std::wstring& folder);

// Moves a finished temporary file to its final name without ever replacing a
// file: when the name was taken meanwhile, the next free name of the same
// _NNN rule is used; then its record and lock go. The path used, or empty
// when the move failed.
std::wstring FinishOutputFile(const std::wstring& tempPath, const std::wstring& finalPath);

// The length rule for an output name: room = 252 - folder length.
// False when there is no room; else `name` is cut to the room.
bool FitNameToFolder(const std::wstring& outputFolder, std::wstring& name);

// Final and temporary path of a download: the name made safe and cut to the
// folder's room and to 255 bytes (".cvt" and any "_NNN" included), then
// reserved in the site's subfolder (ReserveOutputPath). False when the folder
// leaves no room or no name is free.
bool BuildOutputPaths(const std::wstring& outputFolder, const std::wstring& siteFolder,
                      std::wstring baseName, const std::wstring& extension, std::wstring& finalPath,
                      std::wstring& tempPath, const std::wstring& pageAddress = std::wstring());
