// What CDataSourceSetup reads from the object that owns it: the profile's
// engine, data source name and database folder. The database object
// implements it, so the setup never sees more of its owner.
#pragma once

#include <string>

#include <qel/platform/WinTypes.h>

class IDataSourceHost {
public:
    virtual LONG GetDataSourceEngine() = 0;
    virtual const std::string& GetDataSourceName() = 0;
    virtual const std::string& GetDataSourceDirectory() = 0;

protected:
    ~IDataSourceHost() = default;
};
