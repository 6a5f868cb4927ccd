#pragma once
// The resource bundle: one file in the program folder that carries the
// string table, dialog layouts, menus, bitmaps and icons, found by number.
//
// File layout: the line "CVRES 1", then one entry after another, each a line
// "<name> <size>" followed by exactly <size> bytes and a line break, then the
// line "END". Names are paths such as "strings.txt", "dialogs/102.dlg" or
// "bitmaps/134.png".
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Name of the resource bundle in the program folder.
inline constexpr const wchar_t* kResourceBundleName = L"cvres.bundle";

namespace platform {

class ResourceBundle {
  public:
    // Reads and checks the whole file; false (and nothing loaded) when it is
    // missing, unreadable or malformed.
    bool Load(const std::string& path);
    // Parses bundle bytes already in memory.
    bool LoadFromBytes(std::string bytes);
    void Unload();
    bool IsLoaded() const { return loaded_; }

    std::optional<std::string_view> Find(const std::string& name) const;
    // String of the table by number; empty when absent.
    std::wstring String(unsigned id) const;
    bool HasString(unsigned id) const { return strings_.count(id) != 0; }
    std::optional<std::string_view> Dialog(unsigned id) const;
    std::optional<std::string_view> Menu(unsigned id) const;
    std::optional<std::string_view> Accelerators(unsigned id) const;
    std::optional<std::string_view> Bitmap(unsigned id) const;
    std::optional<std::string_view> Icon(unsigned id) const;

    // The bundle of the running program.
    static ResourceBundle& Current();

    // Builds bundle bytes from named entries (used by the packing tool).
    static std::string Pack(const std::map<std::string, std::string>& entries);
    // Parses the text of a string table ("<number>=<text>" lines, '#' comments,
    // escapes \n \t \\).
    static std::map<unsigned, std::wstring> ParseStringTable(std::string_view text);

  private:
    std::string bytes_;
    std::map<std::string, std::string_view, std::less<>> entries_;
    std::map<unsigned, std::wstring> strings_;
    bool loaded_ = false;
};

}  // namespace platform
