// Sideways, and into another folder's private header.
#include <qel/datasource/DataSourceSetup.h>
#include <qel/outside/odbc/CallWatchdogInternal.h>
#include <qel/outside/records/TableCatalogue.h>
