// The native face of the qeldb component: include this one header to use the
// database object and every class and hook an in-process client needs. The
// installed headers are exactly this one and what it includes; docs/native-api.md
// is the guide, with a complete example program.
#pragma once

// The platform calls that stand in for the operating system's: automation
// values and interfaces, activation by class, windows and messages, the
// registry and profile, the thread locale, the user-interface hooks.
#include <qel/platform/AppProfile.h>
#include <qel/platform/Bstr.h>
#include <qel/platform/ClassRegistry.h>
#include <qel/platform/Com.h>
#include <qel/platform/ComActivation.h>
#include <qel/platform/ComPtr.h>
#include <qel/platform/Diagnostics.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/Export.h>
#include <qel/platform/Locale.h>
#include <qel/platform/ModulePath.h>
#include <qel/platform/NamedMutex.h>
#include <qel/platform/OleDate.h>
#include <qel/platform/Registry.h>
#include <qel/platform/UserInterface.h>
#include <qel/platform/Window.h>
#include <qel/platform/WinTypes.h>

// The general library, the ODBC layer, the application server and the
// dispatch drivers.
#include <qel/outside/DefaultAppServer.h>
#include <qel/outside/DiskSpaceController.h>
#include <qel/outside/drivers/DatabaseCallback.h>
#include <qel/outside/drivers/ImageMediaType.h>
#include <qel/outside/ExtOleDateTime.h>
#include <qel/outside/ExtString.h>
#include <qel/outside/GeneralLib.h>
#include <qel/outside/Log.h>
#include <qel/outside/MessageDialog.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/Reg.h>
#include <qel/outside/Wait.h>

// The record library: record sets over the catalogue's tables, cached
// records, object sets, live items, layouts.
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/DatabaseItem.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/ObjectData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>

// Data source names and drivers a set-up program works with.
#include <qel/datasource/DataSourceName.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/datasource/UserDataSource.h>

// The database object, its error codes and resources, the media-type object.
#include <qel/database/DatabaseObj.h>
#include <qel/database/ErrorCodes.h>
#include <qel/database/ImageMediaTypeObject.h>
#include <qel/database/Resources.h>
#include <qel/database/SelectPatientModel.h>

// The callback window other code of the process reaches the object through,
// and the library's entry points.
#include <qel/callback/DatabaseCallbackWnd.h>
#include <qel/frame/EntryPoints.h>
