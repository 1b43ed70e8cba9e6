// IDatabaseCallback: the driver of the client's callback object, an
// automation object with a method OnMessage(type, p1, p2, p3) and readable
// properties lErrorCode and strError. The database object announces events
// to its client through it (see CDatabaseObj::SendMessage).
#pragma once

#include <qel/outside/drivers/DynamicDispatchDriver.h>

class QEL_API IDatabaseCallback : public CDynamicDispatchDriverPriv {
public:
    // Calls OnMessage with the four values, then reads the object's error
    // state (IsErrorStateReadable, GetLErrorCode, GetStrError). Returns what
    // OnMessage returned; FALSE when the call failed or nothing is attached.
    BOOL OnMessage(LONG lType, LONG lParam1, LONG lParam2, LONG lParam3);
};
