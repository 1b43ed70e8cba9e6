// The per-user registry: a file-backed store of keys holding 32-bit integer
// and string values, kept in the REGEDIT4 text format so that an
// administrator can read it, edit it and import it:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Maker\Tool\DatabaseJ3]
//   "Name"="Studio Rossi"
//   "CurrentDoctor"=dword:00000007
//
// Location: $QEL_REGISTRY_FILE, else $XDG_CONFIG_HOME/<folder>/registry.reg,
// else ~/.config/<folder>/registry.reg, <folder> being the application's
// (platform/ApplicationIdentity.h). CurrentUser() looks the path up on every
// call, so a changed environment takes effect at once.
//
// Every call reads the file afresh, so values written by other processes (or
// by hand) are seen at once. Writes are read-modify-write under an exclusive
// lock on a companion lock file and land atomically (temporary file, fsync,
// rename). A file that cannot be parsed keeps what could be read of it; lines
// that cannot be parsed are logged once and carried over verbatim by every
// later write, so a write never drops data it did not understand. A file
// that does not start like a registry file at all (a binary file, some other
// text) reads as empty and is never written into.
//
// Key paths are given below HKEY_CURRENT_USER with backslashes
// ("Software\\Maker\\Tool\\DatabaseJ3"); key and value names compare
// case-insensitively, as on Windows, and keep the case they were first
// written with. Keys of other roots in the file are kept but not reachable.
// Strings hold UTF-8 text of one line: a value with a line break or a NUL
// character is refused (the write returns false).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32
#include <cstdint>

// Root key handles the way the Windows headers declare them; only the current
// user's hive exists here.
struct HKEY__;
using HKEY = HKEY__*;
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));
#endif

namespace qel::platform {

class QEL_API Registry {
public:
    // The registry of the current user (path from the environment, above).
    static Registry& CurrentUser();

    // A registry kept in the given file; for tests and tools.
    explicit Registry(std::string filePath);

    // The file this registry is kept in (for CurrentUser(): as the
    // environment names it now; empty when no location can be found).
    std::string FilePath() const;

    // Why the file cannot serve as the registry, in words for a person: no
    // location, a folder, unreadable (with the system's error text), not a
    // registry file (it does not start with a header, a comment or a
    // section; such a file is never written), undecodable UTF-16. Empty
    // when it can be used, also when it does not exist yet.
    std::string Problem() const;

    // Absent when the key or value does not exist or holds the other type.
    std::optional<LONG> GetInt(const std::string& key, const std::string& name) const;
    std::optional<std::string> GetString(const std::string& key, const std::string& name) const;

    // One value of a batch write: an integer, a string, or (with neither)
    // the value's removal.
    struct Value {
        std::string name;
        std::optional<LONG> number;
        std::optional<std::string> text;
    };
    // Writes every value of the key in one update of the file: all of them
    // or, when a name or string is refused or the file cannot be written,
    // none. Creates the key when missing.
    bool SetValues(const std::string& key, const std::vector<Value>& values);

    // Create the key when missing. FALSE when the file cannot be written.
    bool SetInt(const std::string& key, const std::string& name, LONG value);
    bool SetString(const std::string& key, const std::string& name, const std::string& value);
    bool CreateKey(const std::string& key);

    // A key exists when it has a section in the file or a subkey does.
    bool KeyExists(const std::string& key) const;
    // Removes the key with its values and subkeys (lines inside their sections
    // included); TRUE also when it did not exist. The root cannot be removed.
    bool DeleteKey(const std::string& key);
    // TRUE when the value is gone afterwards, also when it did not exist.
    bool DeleteValue(const std::string& key, const std::string& name);

    // Direct subkey names of a key, in file order.
    std::vector<std::string> SubKeys(const std::string& key) const;
    // Value names of a key, in file order.
    std::vector<std::string> ValueNames(const std::string& key) const;

private:
    struct FromEnvironment {};
    explicit Registry(FromEnvironment);

    std::string m_path;
    bool m_followEnvironment = false;
};

}  // namespace qel::platform
