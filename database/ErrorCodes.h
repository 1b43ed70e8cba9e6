// The meaning of every lErrorCode the component sets, for clients and tools
// that show a failure to a person. strError stays empty for the component's
// own failures; the code and this text are what tells them apart.
//
//   if (!db.Open2(FALSE))
//       std::fprintf(stderr, "open failed: %s (%ld)\n", qel::database::ErrorText(db.lErrorCode),
//                    static_cast<long>(db.lErrorCode));
//
// docs/errors.md holds the same table with the situations behind each code.
#pragma once

#include <string>
#include <vector>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::database {

// A short sentence (no final full stop) for the code; 0 is success. A code
// the component never sets (a client's callback object may report its own)
// gets a text that says so. The text lives as long as the library.
QEL_API const char* ErrorText(LONG code);

// Every code ErrorText knows, ascending (0 not included).
QEL_API std::vector<LONG> KnownErrorCodes();

// The error convention of the component's automation objects, over an
// object's lErrorCode and strError: a fallible call clears them first.
QEL_API void ClearErrorState(LONG* plErrorCode, std::string* pStrError);
// A failure: `code` with an empty strError and an error record naming the
// module and line. FALSE, for `return SetErrorState(...)`.
QEL_API BOOL SetErrorState(LONG code, LONG* plErrorCode, std::string* pStrError, const char* module,
                           int line = __builtin_LINE());

}  // namespace qel::database
