// The class of the database object as the class factory registers it. The
// object's automation face and its dispatch interface are declared in
// database/DatabaseDispatch.h; the table behind them is listed in
// frame/DatabaseDispatch.cpp.
#pragma once

#include <qel/database/DatabaseDispatch.h>
#include <qel/platform/Com.h>

// {94CDFCD9-3788-4D4B-BC62-84256173C2E0}: the class of "QEL.Database".
inline constexpr CLSID CLSID_DatabaseObj = {
    0x94CDFCD9, 0x3788, 0x4D4B, {0xBC, 0x62, 0x84, 0x25, 0x61, 0x73, 0xC2, 0xE0}};
