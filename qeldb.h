// The native face of the qeldb component: include this one header to use the
// database object and every class and hook an in-process client needs.
#pragma once

#include <qel/platform/WinTypes.h>
#include <qel/platform/Export.h>
#include <qel/platform/AppProfile.h>
#include <qel/platform/Bstr.h>
#include <qel/platform/ClassRegistry.h>
#include <qel/platform/Com.h>
#include <qel/platform/ComActivation.h>
#include <qel/platform/ComPtr.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/Diagnostics.h>
#include <qel/platform/Locale.h>
#include <qel/platform/ModulePath.h>
#include <qel/platform/NamedMutex.h>
#include <qel/platform/OleDate.h>
#include <qel/platform/Registry.h>
#include <qel/platform/UserInterface.h>
#include <qel/platform/Window.h>

#include <qel/outside/DefaultAppServer.h>
#include <qel/outside/DiskSpaceController.h>
#include <qel/outside/ExtOleDateTime.h>
#include <qel/outside/ExtString.h>
#include <qel/outside/GeneralLib.h>
#include <qel/outside/Log.h>
#include <qel/outside/MessageDialog.h>
#include <qel/outside/Reg.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/Wait.h>
#include <qel/outside/drivers/DatabaseCallback.h>
#include <qel/outside/drivers/ImageMediaType.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/ObjectData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>

#include <qel/datasource/DataSourceName.h>
#include <qel/datasource/DataSourceSetup.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/datasource/UserDataSource.h>
#include <qel/schema/DatabaseSchema.h>
#include <qel/schema/TableCatalogue.h>

#include <qel/database/DatabaseObj.h>
#include <qel/database/ErrorCodes.h>
#include <qel/database/ImageMediaTypeObject.h>

#include <qel/frame/DatabaseApp.h>
#include <qel/frame/DatabaseDispatch.h>
#include <qel/frame/EntryPoints.h>
#include <qel/frame/ObjectFactory.h>

#include <qel/ui/Resources.h>
