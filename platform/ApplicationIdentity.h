// The names of the application the platform layer serves: where the user's
// settings are filed (registry root, per-user folders, the mutex folder) and
// how its diagnostics are signed. The platform layer names no product of its
// own; the frame hands these over once when the component starts, before
// anything reads the registry or creates a named mutex.
//
//   qel::platform::SetApplicationIdentity({.vendor = "Maker", .application = "Tool",
//                                          .folder = "maker", .runtimeFolder = "tool",
//                                          .program = "tool"});
//
// The environment redirections ($QEL_REGISTRY_FILE, $QEL_RUNTIME_DIR, ...)
// still win over every folder named here.
#pragma once

#include <string>

#include <qel/platform/Export.h>

namespace qel::platform {

struct ApplicationIdentity {
    std::string vendor;         // registry key: the profile is Software\<vendor>\<application>
    std::string application;
    std::string folder;         // per-user folders: ~/.config/<folder>/registry.reg, ~/.local/share/<folder>
    std::string runtimeFolder;  // named mutexes: $XDG_RUNTIME_DIR/<runtimeFolder>, /dev/shm/<runtimeFolder>-<uid>
    std::string program;        // the word before diagnostics written to standard error
};

// Also roots AppProfile::Current() at Software\<vendor>\<application>.
QEL_API void SetApplicationIdentity(ApplicationIdentity identity);
// Empty names until SetApplicationIdentity is called.
QEL_API ApplicationIdentity CurrentApplicationIdentity();

}  // namespace qel::platform
