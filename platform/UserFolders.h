// The user's folders, looked up the way the XDG base directory rules name
// them: a variable that holds an absolute path wins, else a folder below the
// home. Every lookup reads the environment afresh.
//
//   XdgFolder("XDG_STATE_HOME", ".local/state")          // ~/.local/state
//   ApplicationFolder("XDG_CONFIG_HOME", ".config")      // ~/.config/<folder>
#pragma once

#include <string>

#include <qel/platform/Export.h>

namespace qel::platform {

// $HOME, else the home of the user's password database entry; empty when
// neither is known.
QEL_API std::string HomeFolder();
// $variable when it is an absolute path, else <home>/<underHome> (nothing
// when underHome is null); empty when no location is known.
QEL_API std::string XdgFolder(const char* variable, const char* underHome);
// XdgFolder(...)/<folder> of the application's identity; empty when no
// location is known.
QEL_API std::string ApplicationFolder(const char* variable, const char* underHome);

}  // namespace qel::platform
