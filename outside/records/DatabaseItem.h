// CQELDatabaseItem: a live item the record library hands to a client, an
// object that stands for one cached record (typically an image or a status
// record of a patient). The database object keeps a registry of these items
// (CDatabaseObj::RegisterItem) so that it can tell all items of one kind and
// owner at once that their records became invalid or lost their owner.
//
// The registry writes the serial number, reads the orphan flag and the data
// object, and calls the two operations; it never owns an item. A derived
// item decides what invalidation and orphaning mean for it, and must not
// register or unregister items from inside either call.
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class CQELObjectData;

class QEL_API CQELDatabaseItem {
public:
    CQELDatabaseItem() = default;
    virtual ~CQELDatabaseItem() = default;
    CQELDatabaseItem(const CQELDatabaseItem&) = delete;
    CQELDatabaseItem& operator=(const CQELDatabaseItem&) = delete;

    // The item's record is no longer valid (deleted, or the database closed).
    virtual void Invalidate() = 0;
    // The item's record lost its owner; the two values are passed through
    // unchanged from CDatabaseObj::OrphanizeItems.
    virtual void Orphanize(LONG l1, LONG l2) = 0;

    // Given by the registry when the item is registered; 0 before.
    LONG m_lSerialNumber = 0;
    // Set by an item that is orphaned already; the registry then skips it.
    BOOL m_bOrphan = FALSE;
    // The cached record the item stands for (not owned; may be null).
    CQELObjectData* m_pData = nullptr;
};
