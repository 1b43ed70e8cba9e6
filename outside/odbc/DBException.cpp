#include <qel/outside/odbc/DBException.h>

#include <fmt/format.h>

CDBException::CDBException(SQLRETURN retCode, std::vector<qel::odbc::DiagRecord> records, const std::string& origin)
    : m_nRetCode(retCode), m_records(std::move(records)) {
    if (m_records.empty() && retCode == SQL_INVALID_HANDLE) {
        // Our handles only go invalid when the connection they belong to was
        // closed under them.
        m_records.push_back({"08003", 0, fmt::format("{}: the connection is closed", origin)});
    } else if (m_records.empty()) {
        m_records.push_back({"HY000", 0, fmt::format("{} failed with return code {}", origin, retCode)});
    }
    m_strSQLState = m_records.front().state;
    m_nNativeError = m_records.front().nativeError;
    for (const auto& record : m_records) {
        if (!m_strError.empty()) m_strError += '\n';
        m_strError += record.message;
    }
    m_strStateNativeOrigin = fmt::format("State:{},Native:{},Origin:{}", m_strSQLState, m_nNativeError, origin);
}

CDBException::CDBException(const std::string& state, const std::string& message, const std::string& origin)
    : CDBException(SQL_ERROR, {{state, 0, message}}, origin) {}

void CDBException::Throw(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle, const std::string& origin) {
    throw CDBException(retCode, qel::odbc::ReadDiagnostics(handleType, handle), origin);
}
