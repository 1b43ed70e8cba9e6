// IQELServer: the application server's interface. The application server
// measures free disk space for the imaging application; the database object
// hands it the disk space controller settings and asks it for the free space.
//
//   IQELServer* server = nullptr;
//   if (SUCCEEDED(CreateQELServer(&server))) {
//       LONG free = 0;
//       server->GetFreeDiskSpace(&free);
//       server->Release();
//   }
//
// The server is created through the class registry (platform/ClassRegistry.h)
// under CLSID_QELServer; when nothing else is registered there, the default
// application server (outside/DefaultAppServer.h) is. Integers are 32-bit, as
// the interface's "long" is on the platform it comes from.
#pragma once

#include <qel/outside/DiskSpaceController.h>
#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

struct IQELServer : public IUnknown {
    // Takes over the controller settings: checking on or off, the two
    // thresholds and `lCount` entries. The caller keeps (and frees) the records.
    virtual HRESULT STDMETHODCALLTYPE InitDiskSpaceController(LONG lOn, LONG lWarningThreshold,
                                                              LONG lErrorThreshold, LONG lCount,
                                                              DiskSpaceItemRecord* pRecords) = 0;
    // The settings the server holds (what InitDiskSpaceController gave it
    // last); any pointer may be null. Not used by the database object.
    virtual HRESULT STDMETHODCALLTYPE GetDiskSpaceController(LONG* plOn, LONG* plWarningThreshold,
                                                             LONG* plErrorThreshold, LONG* plCount) = 0;
    // The free space the entries (or the image store) have left, in MiB.
    virtual HRESULT STDMETHODCALLTYPE GetFreeDiskSpace(LONG* plFreeSpace) = 0;

protected:
    ~IQELServer() = default;
};

// {F71425E1-121E-4569-8544-36CC43997045}
inline constexpr CLSID CLSID_QELServer = {
    0xF71425E1, 0x121E, 0x4569, {0x85, 0x44, 0x36, 0xCC, 0x43, 0x99, 0x70, 0x45}};
// {DE37BBB9-2691-4BF7-ADA1-632088F644DE}
inline constexpr IID IID_IQELServer = {
    0xDE37BBB9, 0x2691, 0x4BF7, {0xAD, 0xA1, 0x63, 0x20, 0x88, 0xF6, 0x44, 0xDE}};

// Creates the application server registered under CLSID_QELServer (the
// default server unless another factory was registered first). *ppServer
// holds one reference on success and is null on failure.
QEL_API HRESULT CreateQELServer(IQELServer** ppServer);
