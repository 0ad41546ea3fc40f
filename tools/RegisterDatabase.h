#pragma once
// velkan-register-database: enters one septic-tank database in the per-user
// registry store, the file both windows read their database choice from.
//
// The store is edited as text in its own encoding (UTF-8 with or without
// BOM, UTF-16LE or UTF-16BE with BOM, CP932) and line ending: the sections
// of the chosen subkey are replaced by one new section, or the section is
// appended; every other byte of the file stays as it was. The new file is
// written beside the old one and renamed over it.
//
// Every refusal is a RegisterError whose text, in Japanese, tells the user
// what is wrong and what to give instead.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace regdb {

// The key whose subkeys the windows offer.
inline constexpr std::string_view kPackageKey =
    "HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package";
// The windows offer only subkeys whose name contains this (case-sensitive).
inline constexpr std::string_view kSubKeyMark = "Septictank";
// The longest value the windows read: 128 bytes of Shift_JIS, NUL included.
inline constexpr std::size_t kMaxValueBytes = 127;

class RegisterError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Registration {
    std::string databasePath;  // absolute path of the SQLite file
    std::string userName;      // the label of the entry in the database choice
    std::string subKey = std::string(kSubKeyMark);
};

// The database path an argument names: a file: URI (file:///path,
// file://localhost/path or file:/path, percent-encoded) or a path, made
// absolute against `currentDir` and lexically normalised.
std::string DatabasePathFromArgument(std::string_view argument, const std::string& currentDir);

// Refuses a subkey name the windows would skip or the store cannot hold, and
// a value the windows cannot read back whole (control characters, characters
// outside Shift_JIS, more than kMaxValueBytes bytes in Shift_JIS), and a
// server name holding a password or another secret option.
void CheckRegistration(const Registration& entry);

// Refuses a path that is not an SQLite file holding the septic-tank tables
// (missing, a folder, an Access file, another SQLite database).
void CheckDatabaseFile(const std::string& path);
// Copies the septic-tank tables of an SQLite file to an empty server database.
void CopyDatabaseToServer(const std::string& file, const std::string& server);

// The store text with `entry` in it. `store` is the current file (empty when
// there is none, which gives a new UTF-8 file with CR LF line ends). Throws
// RegisterError when the current file is not a registry export.
// `replaced` tells whether the subkey was there before.
std::vector<std::uint8_t> StoreWithEntry(std::span<const std::uint8_t> store,
                                         const Registration& entry, bool& replaced);

// Writes `bytes` to `path` through a temporary file in the same folder and a
// rename, creating the folder when missing. A file or folder that is a
// symbolic link is refused (never followed). The mode of an existing file is
// kept, a new file is readable by its owner only.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// The command: arguments after the program name; messages go to `out` and
// `err`. Returns the exit status: 0 registered, 1 refused or failed, 2 wrong
// arguments.
int RunRegisterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace regdb
