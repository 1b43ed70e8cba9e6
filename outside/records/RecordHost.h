// What the record library needs from the object that owns the connection:
// the connection its record sets run on, and new record keys. The database
// object implements it; the record library never sees more of it.
#pragma once

#include <qel/platform/WinTypes.h>

class CDatabase;

class IRecordHost {
public:
    // The open connection, or null when the database is closed.
    virtual CDatabase* GetRecordConnection() = 0;
    // The next key of a table's counter (the table number of TBL200).
    virtual BOOL AllocateRecordKey(int nTable, LONG* plKey) = 0;

protected:
    ~IRecordHost() = default;
};
