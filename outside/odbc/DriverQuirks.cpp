#include <qel/outside/odbc/DriverQuirks.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include <qel/outside/odbc/CallWatchdogInternal.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Handles.h>
#include <qel/platform/AsciiText.h>

namespace qel::odbc {

namespace {

using qel::platform::EqualsNoCase;
using qel::platform::LowerAscii;

bool Contains(std::string_view text, std::string_view part) {
    return LowerAscii(text).find(LowerAscii(part)) != std::string::npos;
}

// One "key=value" item of a connect string; `raw` keeps the value as written
// (with its braces) so the string can be put together again unchanged.
struct ConnectItem {
    std::string key;
    std::string raw;
    bool hasValue = true;
    std::string Value() const {
        if (raw.size() >= 2 && raw.front() == '{' && raw.back() == '}') return raw.substr(1, raw.size() - 2);
        return raw;
    }
};

std::vector<ConnectItem> ParseConnectString(const std::string& text) {
    std::vector<ConnectItem> items;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eq = text.find('=', pos);
        std::size_t semi = text.find(';', pos);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            // A bare word without value ("ODBC", a stray ';'): kept as a key.
            std::size_t end = semi == std::string::npos ? text.size() : semi;
            if (end > pos) items.push_back({text.substr(pos, end - pos), {}, false});
            pos = end + 1;
            continue;
        }
        ConnectItem item{text.substr(pos, eq - pos), {}, true};
        std::size_t valueStart = eq + 1;
        std::size_t end;
        if (valueStart < text.size() && text[valueStart] == '{') {
            std::size_t close = text.find('}', valueStart);
            end = close == std::string::npos ? text.size() : text.find(';', close);
        } else {
            end = text.find(';', valueStart);
        }
        if (end == std::string::npos) end = text.size();
        item.raw = text.substr(valueStart, end - valueStart);
        items.push_back(std::move(item));
        pos = end + 1;
    }
    return items;
}

const ConnectItem* FindItem(const std::vector<ConnectItem>& items, std::string_view key) {
    auto it = std::find_if(items.begin(), items.end(), [&](const ConnectItem& item) { return EqualsNoCase(item.key, key); });
    return it == items.end() ? nullptr : &*it;
}

// The driver name a data source is registered with (SQLDataSources answers it
// as the description), empty when there is no such data source.
std::string DriverOfDataSource(SQLHENV henv, const std::string& dsn) {
    std::array<SQLCHAR, SQL_MAX_DSN_LENGTH + 1> name{};
    std::array<SQLCHAR, 512> driver{};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT driverLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(henv, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                        driver.data(), static_cast<SQLSMALLINT>(driver.size()), &driverLength))) {
        direction = SQL_FETCH_NEXT;
        if (EqualsNoCase(reinterpret_cast<const char*>(name.data()), dsn)) {
            return reinterpret_cast<const char*>(driver.data());
        }
    }
    return {};
}

// The library file of an installed driver ("Driver=" of its odbcinst entry).
std::string LibraryOfDriver(SQLHENV henv, const std::string& driverName) {
    std::array<SQLCHAR, 512> name{};
    std::vector<SQLCHAR> attributes(4096);
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(henv, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                    attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        if (!EqualsNoCase(reinterpret_cast<const char*>(name.data()), driverName)) continue;
        // The attributes are "key=value" texts, each ended by a zero byte.
        const char* p = reinterpret_cast<const char*>(attributes.data());
        const char* end = p + attributes.size();
        while (p < end && *p != '\0') {
            std::string_view entry(p, strnlen(p, static_cast<std::size_t>(end - p)));
            if (LowerAscii(entry.substr(0, 7)) == "driver=") return std::string(entry.substr(7));
            p += entry.size() + 1;
        }
        return {};
    }
    return {};
}

bool IsPsqlOdbc(const std::vector<ConnectItem>& items) {
    std::string driver;
    if (const ConnectItem* item = FindItem(items, "DRIVER")) {
        driver = item->Value();
    }
    std::shared_ptr<Environment> env;
    if (driver.empty()) {
        const ConnectItem* dsn = FindItem(items, "DSN");
        if (dsn == nullptr || dsn->Value().empty()) return false;
        env = Environment::Shared();
        driver = DriverOfDataSource(env->Get(), dsn->Value());
        if (driver.empty()) return false;
    }
    if (driver.find('/') != std::string::npos) return Contains(driver, "psqlodbc");
    if (!env) env = Environment::Shared();
    return Contains(LibraryOfDriver(env->Get(), driver), "psqlodbc");
}

}  // namespace

Engine EngineFromDbmsName(std::string_view dbmsName) {
    std::string name = LowerAscii(dbmsName);
    if (name.starts_with("sqlite")) return Engine::SQLite;
    if (name.starts_with("postgresql")) return Engine::PostgreSQL;
    return Engine::Unknown;
}

Engine DetectEngine(SQLHDBC hdbc) noexcept {
    std::array<SQLCHAR, 256> name{};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_DBMS_NAME, name.data(), static_cast<SQLSMALLINT>(name.size()), &length))) {
        return Engine::Unknown;
    }
    return EngineFromDbmsName(reinterpret_cast<const char*>(name.data()));
}

namespace {

// The first row's TYPE_NAME and CREATE_PARAMS; nullopt for no row or a failed call.
std::optional<TypeInfo> QueryType(SQLHDBC hdbc, SQLSMALLINT sqlType) {
    StatementHandle statement(hdbc);
    CallDeadline deadline(hdbc);
    if (!SQL_SUCCEEDED(SQLGetTypeInfo(statement.Get(), sqlType))) return std::nullopt;
    std::array<SQLCHAR, 130> name{};
    std::array<SQLCHAR, 130> params{};
    SQLLEN nameIndicator = 0;
    SQLLEN paramsIndicator = 0;
    if (!SQL_SUCCEEDED(SQLBindCol(statement.Get(), 1, SQL_C_CHAR, name.data(), static_cast<SQLLEN>(name.size()),
                                  &nameIndicator)) ||
        !SQL_SUCCEEDED(SQLBindCol(statement.Get(), 6, SQL_C_CHAR, params.data(), static_cast<SQLLEN>(params.size()),
                                  &paramsIndicator))) {
        return std::nullopt;
    }
    if (!SQL_SUCCEEDED(SQLFetch(statement.Get())) || nameIndicator == SQL_NULL_DATA) return std::nullopt;
    TypeInfo type{reinterpret_cast<const char*>(name.data()), {}};
    if (paramsIndicator != SQL_NULL_DATA) type.createParams = reinterpret_cast<const char*>(params.data());
    return type;
}

}  // namespace

std::optional<TypeInfo> LookUpType(SQLHDBC hdbc, SQLSMALLINT sqlType) noexcept {
    try {
        if (auto type = QueryType(hdbc, sqlType)) return type;
        // Neither driver here has a fixed-length binary type; the variable-length
        // one holds the same values.
        if (sqlType == SQL_BINARY) return QueryType(hdbc, SQL_VARBINARY);
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> LookUpTypeName(SQLHDBC hdbc, SQLSMALLINT sqlType) noexcept {
    auto type = LookUpType(hdbc, sqlType);
    if (!type) return std::nullopt;
    return std::move(type->name);
}

std::string ColumnType(const TypeInfo& type, int length) {
    if (type.createParams.empty()) return type.name;
    return type.name + "(" + std::to_string(length) + ")";
}

std::string AdaptDropIndex(Engine engine, const std::string& table, const std::string& index) {
    switch (engine) {
        case Engine::SQLite:
        case Engine::PostgreSQL:
            return "DROP INDEX " + index;
        case Engine::Unknown:
            break;
    }
    return "DROP INDEX " + table + "." + index;
}

std::string NormalizeSqlState(Engine engine, const std::string& state, SQLINTEGER nativeError,
                              const std::string& message) {
    switch (engine) {
        case Engine::SQLite:
            // The driver reports every engine error as HY000; the engine's code
            // is the native error (1 = SQLITE_ERROR) and the text tells which.
            if (nativeError == 1 && Contains(message, "no such index")) return "S0012";
            break;
        case Engine::PostgreSQL:
            // 42704 (undefined object) is PostgreSQL's answer to DROP INDEX of
            // a missing index; its message text depends on the server's
            // language, so the state alone decides.
            if (state == "42704") return "S0012";
            break;
        case Engine::Unknown:
            break;
    }
    return state;
}

bool IsLockError(Engine engine, const DiagRecord& record) {
    switch (engine) {
        case Engine::SQLite:
            // 5 = SQLITE_BUSY, 6 = SQLITE_LOCKED.
            return record.nativeError == 5 || record.nativeError == 6 || Contains(record.message, "database is locked");
        case Engine::PostgreSQL:
            return record.state == "55P03";
        case Engine::Unknown:
            break;
    }
    return false;
}

std::string AdaptConnectString(const std::string& connect) {
    std::vector<ConnectItem> items = ParseConnectString(connect);
    if (!IsPsqlOdbc(items)) return connect;
    std::string adapted;
    for (const ConnectItem& item : items) {
        // Replaced below: a data source or caller asking for large objects
        // would make every long binary column unusable.
        if (LowerAscii(item.key) == "byteaaslongvarbinary") continue;
        adapted += item.key;
        if (item.hasValue) adapted += "=" + item.raw;
        adapted += ';';
    }
    return adapted + "ByteaAsLongVarBinary=1";
}

}  // namespace qel::odbc
