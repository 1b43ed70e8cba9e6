// The user's own folders the qeldb program works in, looked up the same way
// by every command (the demo keeps its database there, selfcheck checks it).
//
//   const std::string folder = DataFolder();   // empty: no location known
#pragma once

#include <string>

// $QEL_DATA_DIR, else $XDG_DATA_HOME/talveni, else ~/.local/share/talveni;
// empty when none of them is set.
std::string DataFolder();
