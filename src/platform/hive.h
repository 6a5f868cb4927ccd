#pragma once
// The registry stand-in: one typed hive file per user (and a read-only one
// for the machine). Key paths ("Software\Clipvane\Setting\Output", '\'
// separated) and value names match case-insensitively and keep their case.
//
// The file is a text file a person can read and mend by hand; see
// docs/hive-format.md for its format. A damaged or unreadable file reads as if
// it held no keys at all and is never written over until the next save,
// which keeps it beside the new one (".damaged") and writes a good one.
//
// Paths: components split at '\'; the empty path is the root, which always
// exists; a path with an empty component or a control character is invalid
// (reads find nothing, Apply refuses it). A name rewritten in another case
// keeps its first spelling. Values are listed in the order first written,
// sub-keys alphabetically.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace detail {
struct HiveKey;
}

enum class RegType : uint32_t { None = 0, String = 1, Binary = 3, Dword = 4 };

struct RegValue {
    RegType type = RegType::None;
    std::wstring name;           // as first written (case kept)
    std::wstring text;           // String
    std::vector<uint8_t> bytes;  // Dword (4 bytes, little-endian) and Binary

    // Stored size as the registry reports it: bytes, and for a string
    // 2 bytes a character with the terminator.
    uint32_t Size() const {
        return type == RegType::String ? static_cast<uint32_t>(2 * (text.size() + 1))
                                       : static_cast<uint32_t>(bytes.size());
    }
    static RegValue String(std::wstring name, std::wstring text);
    static RegValue Dword(std::wstring name, uint32_t v);
    static RegValue Binary(std::wstring name, std::vector<uint8_t> bytes);
};

// One change to apply to the hive file.
struct HiveChange {
    enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey } kind;
    std::wstring keyPath;
    RegValue value;  // SetValue: name, type and payload; DeleteValue: name
};

class Hive {
  public:
    explicit Hive(std::string filePath, bool readOnly = false);

    const std::string& Path() const { return path_; }
    bool ReadOnly() const { return readOnly_; }

    // Reads are served from the file as it is now (re-read when it changed).
    bool KeyExists(const std::wstring& keyPath);
    std::optional<RegValue> Query(const std::wstring& keyPath, const std::wstring& name);
    std::vector<std::wstring> ValueNames(const std::wstring& keyPath);
    std::vector<std::wstring> SubKeyNames(const std::wstring& keyPath);

    // Applies the changes under a file lock against the file's current
    // contents and saves atomically (temporary file, fsync, rename, mode 0600).
    // Returns false, writing nothing, when the hive is read-only, a change is
    // invalid (bad path, unknown type, a double-word not of 4 bytes, deleting
    // the root), the path is not a regular file, or the file cannot be written.
    // Deleting what does not exist is no error.
    bool Apply(const std::vector<HiveChange>& changes);

    // Whether the last read found a damaged file (tests, diagnostics).
    bool LastReadDamaged();

    // The current user's hive ($XDG_CONFIG_HOME/Clipvane/registry.hive) and
    // the machine's (/etc/clipvane/registry.hive, never written).
    static Hive& CurrentUser();
    static Hive& LocalMachine();
    // Points CurrentUser() at another file (tests; not while others use it).
    static void SetCurrentUserPath(const std::string& path);

  private:
    using Key = detail::HiveKey;
    void Refresh();                                   // under mutex_
    const Key* FindKey(const std::wstring& keyPath);  // under mutex_, refreshes
    void Retarget(std::string path);

    std::string path_;
    bool readOnly_;
    std::mutex mutex_;
    std::shared_ptr<Key> root_;
    bool damaged_ = false;
    // Identity of the file last read: device, inode, size, mtime (ns).
    uint64_t statSig_[4] = {};
    // When it was read (realtime ns): a file changed within the timestamp
    // granularity of that moment is not trusted to show a later change.
    int64_t loadedAtNs_ = 0;
    bool loaded_ = false;
};

}  // namespace platform
