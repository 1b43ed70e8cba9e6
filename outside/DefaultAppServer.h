// The default application server: an in-process IQELServer that keeps the
// disk space controller settings it is given and reports free space in MiB
// as the least free space among its entries' paths (measured with statvfs),
// or of the image store when it has no entries with a path.
//
// CreateQELServer (outside/QELServer.h) registers it under CLSID_QELServer
// on first use unless another factory is registered there already; a host
// may register it explicitly with RegisterDefaultAppServer.
//
// The image store is $QEL_IMAGE_STORE, else $QEL_DATA_DIR, else
// $XDG_DATA_HOME/talveni, else ~/.local/share/talveni. A path that does not
// exist (yet) is measured at its nearest existing parent folder.
#pragma once

#include <optional>
#include <string>

#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::outside {

// A new default server with one reference, asked for `riid`.
QEL_API HRESULT CreateDefaultAppServer(REFIID riid, void** ppv);
// Registers CreateDefaultAppServer under CLSID_QELServer unless another
// factory is there; true when it registered.
QEL_API bool RegisterDefaultAppServer();

QEL_API std::string DefaultImageStore();
// Free space for an unprivileged user at `path`, in MiB (at most LONG's
// maximum); nullopt when no folder on the way up can be measured.
QEL_API std::optional<LONG> FreeSpaceMiB(const std::string& path);

}  // namespace qel::outside
