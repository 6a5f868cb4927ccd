#pragma once
// Private-profile (INI) reading with the Windows rules: section and key names
// match case-insensitively; blanks around keys and values are trimmed; one
// pair of enclosing quotes (" or ') is removed from a value; a line starting
// with ';' is a comment; the file is read afresh on every call; UTF-8 with or
// without a byte-order mark, UTF-16 LE/BE with one.
#include <string>

namespace platform {

enum class KeyMatch { IgnoreCase, Exact };

// Returns the value of key in section, or def when the file, the section or
// the key is missing. Like the Windows call, the result is cut to
// sizeChars - 1 characters (sizeChars counts the terminator); sizeChars 0
// gives the empty text. KeyMatch::Exact compares key names case included.
std::wstring GetPrivateProfileString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& def, size_t sizeChars,
                                     const std::wstring& filePath,
                                     KeyMatch match = KeyMatch::IgnoreCase);

}  // namespace platform
