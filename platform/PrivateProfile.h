// Private profile (INI) files with the semantics of the Windows profile
// functions, for parameter files exchanged between databases.
//
//   WritePrivateProfileStringA("General", "Version", "2", path);
//   UINT version = GetPrivateProfileIntA("general", "VERSION", -999, path);
//   char name[100];
//   GetPrivateProfileStringA("MediaType1", "TypeName", "", name, sizeof name, path);
//
// Section and key names compare case-insensitively (ASCII). Every call reads
// the file anew and every write saves it at once; keys keep the order in
// which they were first written. Reading finds a key as the Windows function
// does: only in the first section of that name, and the first of equal keys
// there; the value is trimmed and loses one pair of enclosing double or
// single quotes (Name="Q %i" reads as Q %i). Lines starting with ";" or "#"
// are comments. A file that is missing, unreadable or
// larger than kMaxProfileFileSize reads as empty. Integers are read like
// the Windows function: leading blanks, an optional sign, then decimal digits
// (or "0x" and hex digits) up to the first other character, text without
// digits giving 0, a missing key giving the default. Never throws.
#pragma once

#include <cstddef>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {

inline constexpr std::size_t kMaxProfileFileSize = 1024 * 1024;

// The key's integer, or nDefault when the section or key is missing.
QEL_API int GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int nDefault, LPCSTR file);

// Copies the key's text (or the default, null meaning "") into buffer,
// truncated to size - 1 bytes, never splitting a UTF-8 character, and
// terminated. Returns the number of bytes copied (0 for a null buffer or size 0).
QEL_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, char* buffer, DWORD size,
                                       LPCSTR file);

// Writes one value and saves the file (creating it). A null value deletes
// the key, a null key the whole section; all names null only flush (there
// is no cache: TRUE). FALSE when the file cannot be read or written.
QEL_API BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

}  // namespace qel::platform
