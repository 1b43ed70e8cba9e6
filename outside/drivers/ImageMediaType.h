// IImageMediaType: the driver of a media type automation object (members
// CreatePriv, AddNew, strName, lWarningThreshold, lErrorThreshold, Update,
// lErrorCode, strError). The parameter import adds media types through it:
//
//     IImageMediaType type;
//     LONG code = 0;
//     if (!type.CreatePriv(db.GetIDispatch(FALSE), &code)) ...   // code says why
//     type.AddNew();
//     type.SetStrName("DVD");
//     ...
//     type.Update();                       // then GetLErrorCode(), GetStrError()
//
// After every call the driven object's error state is read as for every
// driver (IsErrorStateReadable, GetLErrorCode, GetStrError).
#pragma once

#include <qel/outside/drivers/DynamicDispatchDriver.h>
#include <qel/platform/Com.h>

// {1AA30DC3-D941-45A2-AC83-7FBA4336C498}: the class of "QEL.ImageMediaType",
// the media type object CreatePriv creates through the class registry.
inline constexpr CLSID CLSID_ImageMediaTypeObject = {
    0x1AA30DC3, 0xD941, 0x45A2, {0xAC, 0x83, 0x7F, 0xBA, 0x43, 0x36, 0xC4, 0x98}};

class QEL_API IImageMediaType : public CDynamicDispatchDriverPriv {
public:
    // Creates a new media type object, holds it, and binds it to the database
    // object pParent (its automation face). *plErrorCode receives the
    // object's error code (30 when no object could be created or its error
    // state could not be read). TRUE when the binding succeeded.
    BOOL CreatePriv(IDispatch* pParent, LONG* plErrorCode);
    // The same for an in-process caller holding the parent's GetPtr() value.
    BOOL CreatePriv(LONG lParent, LONG* plErrorCode);

    // Each returns what the object's member reported (FALSE when the call
    // failed or nothing is held).
    BOOL AddNew();
    BOOL SetStrName(LPCSTR name);
    BOOL SetLWarningThreshold(LONG value);
    BOOL SetLErrorThreshold(LONG value);
    BOOL Update();

private:
    BOOL Bind(const qel::platform::Variant& parent, LONG* plErrorCode);
    BOOL Put(const char* name, const qel::platform::Variant& value);
    BOOL Call(const char* name);
};
