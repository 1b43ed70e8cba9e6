// The one way into the ODBC API: every file of the component that calls ODBC
// includes this header instead of <sql.h>/<sqlext.h>.
//
// The Windows base types must be defined before unixODBC's headers are read:
// <qel/platform/WinTypes.h> sets ALREADY_HAVE_WINDOWS_TYPE, so <sqltypes.h>
// does not define BOOL, DWORD, HWND, ... a second time (differently). With
// that flag set unixODBC also leaves out its remaining ODBC 2 base types,
// which WinTypes.h does not cover; they are defined here exactly as unixODBC
// would on a 64-bit system.
#pragma once

#include <qel/platform/WinTypes.h>

#if !defined(_WIN32)
using UCHAR = unsigned char;
using SCHAR = signed char;
using SQLSCHAR = SCHAR;
using SDWORD = int;
using UDWORD = unsigned int;
using SWORD = signed short int;
using UWORD = unsigned short int;
using SLONG = signed long;
using SDOUBLE = double;
using LDOUBLE = double;
using SFLOAT = float;
using PTR = void*;
using RETCODE = signed short;
using SQLHWND = void*;
#endif

#include <sql.h>
#include <sqlext.h>
