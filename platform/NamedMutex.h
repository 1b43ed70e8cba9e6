// Named mutexes whose existence is the lock: created without ownership and
// never waited on, they tell whether any holder in this or another process of
// the user has the name already ("DB_MUTEX_3": profile 3 is open).
//
//   NamedMutexResult r = NamedMutex::Create("DB_MUTEX_3");
//   if (r.failed) ...            // could not be created at all
//   else if (r.alreadyExists) ...// someone holds it; r.handle is null
//   else m_hMutex = std::move(r.handle);  // held until Close() or destruction
//
// A mutex is an exclusive non-blocking flock on a file named after it in
// $QEL_RUNTIME_DIR, else $XDG_RUNTIME_DIR/<name>, else /dev/shm/<name>-<uid>
// (created 0700), <name> being the application's runtime folder
// (platform/ApplicationIdentity.h). The lock belongs to the open file, so a second Create of
// the same name in the same process also finds it existing, and the system
// releases it when the holding process dies. Names are case-sensitive, as on
// Windows.
#pragma once

#include <memory>
#include <string>

#include <qel/platform/Export.h>

namespace qel::platform {

struct NamedMutexResult;

class QEL_API NamedMutex {
    struct Token {};  // lets only Create construct one

public:
    NamedMutex(Token, std::string name, std::string path, int fd);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    static NamedMutexResult Create(const std::string& name);

    // Releases the mutex; later calls do nothing.
    void Close();
    bool IsHeld() const { return m_fd >= 0; }
    const std::string& Name() const { return m_name; }

    // The folder the mutex files live in, as the environment names it now.
    static std::string Folder();

private:
    std::string m_name;
    std::string m_path;
    int m_fd;     // the locked file; -1 once closed
    int m_owner;  // process that created it
};

using MutexHandle = std::unique_ptr<NamedMutex>;

struct NamedMutexResult {
    MutexHandle handle;          // set only when this call created (and now holds) the mutex
    bool alreadyExists = false;  // another holder has the name: an answer, not a failure
    bool failed = false;         // the mutex could not be created (folder, file, bad name)
    std::string error;           // why it failed
};

}  // namespace qel::platform
