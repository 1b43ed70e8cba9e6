// QEL_API marks the classes and functions that libqeldb exports to in-process
// callers. The library is built with hidden visibility, so everything else
// stays internal; on Windows the same macro becomes dllexport/dllimport.
#pragma once

#if defined(_WIN32)
#if defined(QELDB_BUILDING)
#define QEL_API __declspec(dllexport)
#else
#define QEL_API __declspec(dllimport)
#endif
#else
#define QEL_API __attribute__((visibility("default")))
#endif
