// Read-modify-write of a small text file that other processes read and write
// too (the registry file, the ODBC data source file).
//
// An update takes an exclusive advisory lock (flock) on "<file>.lock" beside
// the file and holds it while it reads the file, lets the caller edit the
// bytes and writes the result: writers that go through here never interleave,
// whether they are threads of one process or separate processes. The new
// bytes go to a temporary file in the same folder, are flushed and renamed
// over the file, so any reader sees the old file or the new one, never part
// of one. A file reached through a symbolic link is replaced where the link
// points. The file keeps its mode; a new file gets `newFileMode`.
//
//   std::string error;
//   bool ok = qel::platform::UpdateSharedFile(path, 0644, [](const std::optional<std::string>& bytes) {
//       SharedFileEdit edit;
//       edit.bytes = ...;          // nullopt: leave the file as it is
//       return edit;
//   }, error);
//
// Lock files are left in place: removing one while another process waits on
// it would let a third process lock a new file of the same name.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include <qel/platform/Export.h>

namespace qel::platform {

struct SharedFileEdit {
    // The new content, or nullopt to leave the file untouched (nothing to
    // change, or the edit refused the content; `error` says which).
    std::optional<std::string> bytes;
    // The file must not be readable by group and others (it holds a secret).
    bool ownerOnly = false;
    // Why the edit refused the content; an update with an error fails.
    std::string error;
};

// `edit` gets the file's bytes (nullopt when the file does not exist). False
// when the file cannot be locked, read, or replaced, or when the edit set an
// error; `error` then holds the edit's error, or names the path and the cause
// ("PATH: cannot lock: <errno text>", "PATH is a folder, not a file; nothing
// is written").
QEL_API bool UpdateSharedFile(const std::string& path, mode_t newFileMode,
                              const std::function<SharedFileEdit(const std::optional<std::string>&)>& edit,
                              std::string& error);

// The lock file of an update of `path` (beside the file a link points to).
QEL_API std::string SharedFileLockPath(const std::string& path);

// The whole file; nullopt when it does not exist or cannot be read (`error`
// then says why, and stays empty for a missing file).
QEL_API std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error);

}  // namespace qel::platform
