// CDatabase: one ODBC connection, in the role of MFC's CDatabase.
//
//   CDatabase db;
//   db.Open(nullptr, FALSE, FALSE, "ODBC;DSN=Quorva1", TRUE);   // throws CDBException
//   Statement(db) ... / SQLAllocHandle(SQL_HANDLE_STMT, db.m_hdbc, ...)
//   db.Close();
//
// Open and OpenEx answer FALSE when the driver manager reports SQL_NO_DATA
// (a connect dialog was cancelled) and throw CDBException on every failure, as
// callers written for the MFC class expect; the other members that can fail
// throw CDBException too. Close never throws.
//
// On connecting, the driver's needs are met here: psqlODBC gets
// ByteaAsLongVarBinary=1 and its session runs in UTC (so timestamptz columns
// give back what was written); the SQLite3 driver's attributes come from its
// data source. The cursor-library argument is accepted and ignored: the
// unixODBC cursor library breaks SQLGetData and SQLSetPos. Connecting waits
// at most the login timeout (15 s unless set) for a server that does not answer;
// every later call on a server connection waits at most QEL_DB_CALL_TIMEOUT
// seconds (default 60), after which the connection is given up (docs/odbc.md).
#pragma once

#include <memory>
#include <string>

#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

class QEL_API CDatabase {
public:
    enum DbOpenOptions : DWORD {
        openExclusive = 0x0001,  // not supported: Open throws CDBException (HYC00)
        openReadOnly = 0x0002,
        useCursorLib = 0x0004,  // ignored
        noOdbcDialog = 0x0008,  // always in effect: there is no connect dialog
        forceOdbcDialog = 0x0010,  // ignored, as above
    };

    CDatabase();
    ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // `lpszConnect` may start with "ODBC;" (dropped before connecting); a
    // non-empty `lpszDSN` is put in front as "DSN=name;".
    BOOL Open(LPCSTR lpszDSN, BOOL bExclusive = FALSE, BOOL bReadOnly = FALSE, LPCSTR lpszConnect = "ODBC;",
              BOOL bUseCursorLib = TRUE);
    BOOL OpenEx(LPCSTR lpszConnectString, DWORD dwOptions = 0);
    void Close() noexcept;
    BOOL IsOpen() const noexcept;

    // Runs one statement without parameters (SQLExecDirect). Values never go
    // into SQL text: statements with values use qel::odbc::Statement.
    void ExecuteSQL(LPCSTR lpszSQL);

    // Autocommit is off between BeginTrans and CommitTrans/Rollback. BeginTrans
    // answers FALSE when a transaction is already running or the connection is
    // closed; CommitTrans and Rollback answer FALSE when none is running.
    BOOL BeginTrans();
    BOOL CommitTrans();
    BOOL Rollback();
    // Between BeginTrans and CommitTrans/Rollback.
    BOOL InTransaction() const noexcept;

    // The engine behind the connection (Unknown while closed).
    qel::odbc::Engine Engine() const noexcept;
    // "ODBC;" followed by the connect string the driver completed.
    std::string GetConnect() const;
    // Seconds a connection attempt may wait; 0 waits as long as the driver does.
    void SetLoginTimeout(DWORD seconds) noexcept;
    // Whether the driver knows the connection to be lost (the server went
    // away or did not answer in time); TRUE while closed. A driver that
    // cannot tell answers FALSE.
    BOOL IsConnectionDead() const noexcept;

    // The raw connection handle for direct ODBC calls; SQL_NULL_HDBC while closed.
    HDBC m_hdbc = SQL_NULL_HDBC;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
