#include <qel/outside/odbc/Diagnostics.h>

#include <algorithm>
#include <array>

namespace qel::odbc {

std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    if (handle == SQL_NULL_HANDLE) return records;
    for (SQLSMALLINT number = 1;; ++number) {
        std::array<SQLCHAR, 6> state{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::string message(512, '\0');
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, number, state.data(), &native,
                                     reinterpret_cast<SQLCHAR*>(message.data()),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message was cut: ask again with room for all of it.
            message.assign(static_cast<std::size_t>(length) + 1, '\0');
            rc = SQLGetDiagRec(handleType, handle, number, state.data(), &native,
                               reinterpret_cast<SQLCHAR*>(message.data()),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) break;
        message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size()));
        // Message texts of some drivers end in a line break; it only disturbs logs.
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
        records.push_back({std::string(reinterpret_cast<const char*>(state.data())), native, std::move(message)});
    }
    return records;
}

}  // namespace qel::odbc
