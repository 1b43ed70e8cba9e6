// How every qeldb command reports a failure: the code and its meaning, the
// cause the component logged (the driver's message, the system's error text,
// the path) and where the log is, so nobody has to dig in the log to learn
// what happened.
//
//   if (!db.Open2(FALSE)) {
//       PrintFailure(stderr, "qeldb info: cannot open the database " + path, db);
//       return 2;
//   }
//
// prints
//
//   qeldb info: cannot open the database /data/x.db (lErrorCode 7020: preparing the ODBC data source failed)
//     cause: database file /data/x.db not created: Permission denied
//     log: /home/anna/.local/state/talveni/qeldb.log
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include <qel/database/DatabaseObj.h>

// "what (lErrorCode N: meaning)", then ": strError" when the object holds a
// text; one line without the cause.
std::string FailureSummary(CDatabaseObj& db, std::string_view what);

// The summary line, then the cause (when one was logged) and the log file.
void PrintFailure(FILE* out, std::string_view what, CDatabaseObj& db);

// A failure outside the database object (a registry write, the installer):
// `what` as given, then the cause and the log file in the same form.
void PrintFailure(FILE* out, std::string_view what);
