// Diagnostic records of an ODBC handle (SQLGetDiagRec): the SQLSTATE, the
// driver's native error and the message of every record the last call left.
//
//   for (const auto& record : ReadDiagnostics(SQL_HANDLE_STMT, hstmt)) ...
#pragma once

#include <string>
#include <vector>

#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

namespace qel::odbc {

struct DiagRecord {
    std::string state;  // five characters, e.g. "HY000"
    SQLINTEGER nativeError = 0;
    std::string message;
};

// All records of the handle, in the driver's order; empty when there are none
// or the handle is null. Never throws an ODBC error (allocation may throw).
QEL_API std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

}  // namespace qel::odbc
