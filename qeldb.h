// The native face of the qeldb component: include this one header to use the
// database object and every class and hook an in-process client needs.
#pragma once

#include <qel/platform/WinTypes.h>
#include <qel/platform/Export.h>
