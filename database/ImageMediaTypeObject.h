// The media type automation object: adds one media type (an IMT200 row and
// its place in the database object's media type set) through late-bound
// calls, the way the imaging application's own media type object is driven.
//
// Members by name: CreatePriv(parent) binds the object to a database object,
// AddNew starts a new media type, the properties strName, lWarningThreshold
// and lErrorThreshold take its values, Update stores it; lErrorCode and
// strError report the outcome of the last call (0 and empty on success).
//
// The parent is the database object's IDispatch; the object asks it for its
// GetPtr value and resolves that through CDatabaseObj::FromPtr on every call,
// so a parent that is gone answers 50 instead of being touched. A long
// parent is taken as that GetPtr value directly. Normally reached through
// the IImageMediaType driver:
//
//     IImageMediaType type;
//     LONG code = 0;
//     type.CreatePriv(db.GetIDispatch(FALSE), &code);
//     type.AddNew(); type.SetStrName("DVD"); ...; type.Update();
//
// The class factory registers it under CLSID_ImageMediaTypeObject
// ("QEL.ImageMediaType"), where the driver creates it.
#pragma once

#include <qel/platform/Dispatch.h>
#include <qel/platform/Export.h>

// A new media type object with one reference for the caller; null when out
// of memory.
QEL_API IDispatch* CreateImageMediaTypeObject();
