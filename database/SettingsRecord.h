// The settings record: the database-wide settings as the bytes kept in
// TBLDATA2 of TBL200 row 0, and back.
//
//   std::vector<uint8_t> bytes = qel::settings::EncodeSettings(settings);
//   qel::settings::DatabaseSettings read;
//   if (!qel::settings::DecodeSettings(bytes.data(), bytes.size(), &read)) {
//       // `read` holds the defaults
//   }
//
// Integers are 32-bit little-endian; a string is its 32-bit length and its
// bytes without a terminator; a date is year, month, day (-1, -1, -1 for an
// invalid date). The writer writes format version 5; the reader takes
// versions 1 to 5, each holding the fields of the versions before it plus
// its own (docs/settings.md lists the fields).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <qel/outside/DiskSpaceController.h>
#include <qel/outside/ExtOleDateTime.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::settings {

inline constexpr LONG kSettingsVersion = 5;

struct QEL_API DatabaseSettings {
    DatabaseSettings();

    bool operator==(const DatabaseSettings& other) const;

    BOOL bCompressGrayscaleImages = FALSE;
    BOOL bCompressColorImages = FALSE;
    BOOL bAllowDuplicatePatientIDs = TRUE;
    LONG lCurrentMedia = 0;
    BOOL bDefaultImageMediaName = FALSE;
    std::string strImageMediaNameFormat;
    CExtOleDateTime dateImageMediaNumber;
    LONG lImageMediaNumber = 1;
    CExtOleDateTime dateLastImageMediaCreation;
    CDiskSpaceControllerData diskSpace;
};

// The template of image media names and the date both dates start from.
inline constexpr const char* kDefaultImageMediaNameFormat = "%Y%m%d_%i";
QEL_API CExtOleDateTime DefaultSettingsDate();

// The version 5 record of the settings, exactly as stored.
QEL_API std::vector<std::uint8_t> EncodeSettings(const DatabaseSettings& settings);

// Reads a record into *pSettings. False, with *pSettings set to the
// defaults, for an empty record, a version outside 1..5 or a field that
// would run past the end of the data. Bytes after the last field of the
// record's version are ignored. Dates read back at midnight; a date that
// does not exist reads as an invalid date.
QEL_API bool DecodeSettings(const std::uint8_t* pData, std::size_t nSize, DatabaseSettings* pSettings);

}  // namespace qel::settings
