// The shell a simulated workstation process runs (see Workstation.h): it
// keeps one database object and drives it through the component's public
// members, one command line at a time. Every command gets exactly one
// answer line, "ok ..." or "error <lErrorCode> <what failed>":
//
//   open ENGINE DSN LOCATION  temporary profile on the engine (1 PostgreSQL,
//                             2 SQLite), data source and location; opened
//                             through Open2 ("ok <profile number>")
//   keys TABLE COUNT          COUNT keys of the table through GetNewKey
//                             ("ok k1 k2 ...")
//   set grayscale|color|duplicates 0|1, set format TEXT
//                             a database-wide setting, saved at once
//   get grayscale|color|duplicates|format
//                             this workstation's copy of the setting
//   media                     reads lCurrentMedia (which re-reads the
//                             settings record) ("ok <key>")
//   close                     closes the database
#pragma once

#include <iosfwd>
#include <string>

namespace qel::test {

// The argument a program takes to run the shell instead of its usual work.
inline constexpr const char* kWorkstationFlag = "--workstation";

// Answers the commands read from `in` on `out` until the input ends; the
// exit code of the process (0).
int RunWorkstationShell(std::istream& in, std::ostream& out);

}  // namespace qel::test
