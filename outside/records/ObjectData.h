// CQELObjectData is the base of every cached record: the key of its row, a
// loaded flag, a reference count (above 0 while a client holds the object),
// the key of its owner (a patient's doctor, an image's patient), and a
// warning flag. Object sets own these objects; clients borrow them.
//
// IsKindOf<T>() is the run-time class test ("is this an image?").
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class QEL_API CQELObjectData {
public:
    CQELObjectData() = default;
    explicit CQELObjectData(LONG lKey) : m_lKey(lKey) {}
    virtual ~CQELObjectData() = default;
    CQELObjectData(const CQELObjectData&) = default;
    CQELObjectData& operator=(const CQELObjectData&) = default;

    template <class T>
    bool IsKindOf() const {
        return dynamic_cast<const T*>(this) != nullptr;
    }

    // The class name, for logs and diagnostics.
    virtual const char* GetClassName() const { return "CQELObjectData"; }

    LONG m_lKey = -1;
    BOOL m_bLoaded = FALSE;
    LONG m_lRefCount = 0;
    LONG m_lOwnerKey = -1;
    BOOL m_bWarning = FALSE;
};
