// CDBException: the error of the ODBC layer, in the shape of MFC's database
// exception. It carries the first diagnostic record's SQLSTATE, native error
// and message, the ODBC return code, and every record the call left.
//
// Unlike MFC, the exception is an ordinary C++ exception object: it is thrown
// by value and caught by reference (`catch (CDBException& e)`). `Delete()`
// exists so calling code can keep the MFC shape (`e.Delete()` in the handler);
// it does nothing here, the handler's scope ends the object's life.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include <qel/outside/odbc/Diagnostics.h>
#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

class QEL_API CDBException : public std::exception {
public:
    // From the records a failed call left; `origin` names the call
    // ("SQLExecute", ...). Without records the state is "HY000" and the
    // message says which call failed with which return code.
    CDBException(SQLRETURN retCode, std::vector<qel::odbc::DiagRecord> records, const std::string& origin);
    // An error the layer detects itself (bad argument, wrong state).
    CDBException(const std::string& state, const std::string& message, const std::string& origin);

    // Reads the diagnostics of `handle` and throws them.
    [[noreturn]] static void Throw(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle,
                                   const std::string& origin);

    const char* what() const noexcept override { return m_strError.c_str(); }
    void Delete() noexcept {}

    SQLRETURN m_nRetCode = SQL_ERROR;
    std::string m_strSQLState;
    SQLINTEGER m_nNativeError = 0;
    // The messages of all records, one per line.
    std::string m_strError;
    // "State:%s,Native:%ld,Origin:%s" of the first record.
    std::string m_strStateNativeOrigin;
    std::vector<qel::odbc::DiagRecord> m_records;
};
