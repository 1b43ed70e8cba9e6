// What CDatabaseSchema needs from the object that owns it: the connection
// its DDL runs on and the engine the statements are written for; the record
// sets it opens and the keys it draws go through the IRecordHost part. The
// database object implements it, so the schema never sees more of its owner.
//
// The schema's connection is asked separately from the record connection
// because the schema works during the open, before the owner counts as open.
#pragma once

#include <qel/outside/records/RecordHost.h>
#include <qel/platform/WinTypes.h>

class CDatabase;

class ISchemaHost : public IRecordHost {
public:
    // The connection being opened or open; null before the first connect.
    virtual CDatabase* GetSchemaConnection() = 0;
    // The owner's lEngine.
    virtual LONG GetSchemaEngine() = 0;

protected:
    ~ISchemaHost() = default;
};
