// The disk space controller settings: the entries the application server
// watches (CDiskSpaceItem), the switch and two thresholds around them
// (CDiskSpaceControllerData), and the fixed 272-byte form in which each entry
// is handed to the server (DiskSpaceItemRecord).
//
//   CDiskSpaceControllerData data;          // off, thresholds 200 and 100
//   data.m_aItems.push_back(item);          // entries chain through m_lNext
//   data.Clean();                           // drop key-0 entries, renumber
//
// The database object keeps one CDiskSpaceControllerData in its settings
// record and hands it to the server as an array of DiskSpaceItemRecord.
#pragma once

#include <bit>
#include <cstddef>
#include <string>
#include <vector>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class QEL_API CDiskSpaceItem {
public:
    CDiskSpaceItem() = default;
    CDiskSpaceItem(const CDiskSpaceItem& other) = default;
    CDiskSpaceItem& operator=(const CDiskSpaceItem& other) = default;
    virtual ~CDiskSpaceItem();

    bool operator==(const CDiskSpaceItem& other) const;

    LONG m_lKey = 0;  // 0 marks an unused entry
    std::string m_strPath;
    LONG m_lParam = 0;
    LONG m_lNext = -1;  // index of the next entry of the chain; -1 ends it
};

class QEL_API CDiskSpaceControllerData {
public:
    CDiskSpaceControllerData();
    CDiskSpaceControllerData(const CDiskSpaceControllerData& other);
    CDiskSpaceControllerData& operator=(const CDiskSpaceControllerData& other);
    virtual ~CDiskSpaceControllerData();

    bool operator==(const CDiskSpaceControllerData& other) const;

    // Checking off, thresholds 200 and 100, no entries.
    void Clear();
    // Drops the entries with key 0 and renumbers the chains so that they stay
    // in their order. A walk ends at -1, at an index outside the array
    // (taken as the end of the chain) or when it comes back to an entry it
    // already passed (a cycle, cut before the repeat).
    void Clean();

    BOOL m_bEnabled = FALSE;
    LONG m_lWarningThreshold = 200;
    LONG m_lErrorThreshold = 100;
    std::vector<CDiskSpaceItem> m_aItems;
};

// One entry as the application server receives it: 32-bit little-endian
// integers and a NUL-terminated narrow path of at most 259 characters.
struct DiskSpaceItemRecord {
    static constexpr std::size_t kPathSize = 260;

    LONG m_lKey;
    char m_szPath[kPathSize];
    LONG m_lParam;
    LONG m_lNext;
};
static_assert(sizeof(DiskSpaceItemRecord) == 272);
static_assert(offsetof(DiskSpaceItemRecord, m_szPath) == 4);
static_assert(offsetof(DiskSpaceItemRecord, m_lParam) == 264);
static_assert(offsetof(DiskSpaceItemRecord, m_lNext) == 268);
static_assert(std::endian::native == std::endian::little, "the record is handed over in memory order");

// Fills a record from an entry; a longer path is cut to 259 characters.
QEL_API void FillDiskSpaceItemRecord(const CDiskSpaceItem& item, DiskSpaceItemRecord* pRecord);
