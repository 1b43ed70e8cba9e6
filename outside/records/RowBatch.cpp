#include <qel/outside/records/RowBatchInternal.h>

#include <iterator>

#include <fmt/compile.h>
#include <fmt/format.h>

namespace qel::records {

namespace {

std::string ColumnList(const TableDescriptor& table) {
    std::string columns;
    for (size_t i = 0; i < table.columns.size(); ++i) columns += (i ? ", " : "") + std::string(table.columns[i].name);
    return columns;
}

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    size_t run = 0;  // start of the characters that need no escape
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
        out.append(text, run, i - run);
        run = i + 1;
        if (byte < 0x20) fmt::format_to(std::back_inserter(out), FMT_COMPILE("\\u{:04x}"), byte);
        else out.append({'\\', text[i]});
    }
    out.append(text, run, text.size() - run);
    out += '"';
}

}  // namespace

std::string MultiRowInsertSql(const TableDescriptor& table, size_t rows) {
    std::string marks = "(";
    for (size_t i = 0; i < table.columns.size(); ++i) marks += i ? ", ?" : "?";
    marks += ")";
    std::string sql = fmt::format("INSERT INTO {} ({}) VALUES {}", table.name, ColumnList(table), marks);
    sql.reserve(sql.size() + (rows > 0 ? rows - 1 : 0) * (marks.size() + 2));
    for (size_t row = 1; row < rows; ++row) sql.append(", ").append(marks);
    return sql;
}

bool CanInsertAsJson(const TableDescriptor& table, qel::odbc::Engine engine) {
    if (engine != qel::odbc::Engine::SQLite && engine != qel::odbc::Engine::PostgreSQL) return false;
    for (const ColumnDescriptor& column : table.columns)
        if (column.type == eTypeBinary || column.type == eTypeLongVarBinary) return false;
    return true;
}

std::string JsonInsertSql(const TableDescriptor& table, qel::odbc::Engine engine) {
    std::string values;
    if (engine == qel::odbc::Engine::SQLite) {
        for (size_t i = 0; i < table.columns.size(); ++i)
            values += fmt::format("{}json_extract(value, '$[{}]')", i ? ", " : "", i);
        return fmt::format("INSERT INTO {} ({}) SELECT {} FROM json_each(?)", table.name, ColumnList(table), values);
    }
    // `->>` answers text; text goes into the character columns as it is,
    // the rest is cast to the column's type.
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const char* type = nullptr;
        switch (table.columns[i].type) {
            case eTypeSmallInt: type = "smallint"; break;
            case eTypeInteger: type = "integer"; break;
            case eTypeTimestamp: type = "timestamp"; break;
            default: break;
        }
        values += i ? ", " : "";
        values += type ? fmt::format("CAST(value->>{} AS {})", i, type) : fmt::format("value->>{}", i);
    }
    return fmt::format("INSERT INTO {} ({}) SELECT {} FROM jsonb_array_elements(CAST(? AS jsonb)) AS batch(value)",
                       table.name, ColumnList(table), values);
}

std::string JsonRows(std::span<const FieldRow> rows, qel::odbc::Engine engine) {
    const bool micro = engine == qel::odbc::Engine::PostgreSQL;
    std::string out = "[";
    out.reserve(rows.size() * 160);  // about a patient row
    const auto to = std::back_inserter(out);
    for (size_t r = 0; r < rows.size(); ++r) {
        out += r ? ",[" : "[";
        for (size_t i = 0; i < rows[r].size(); ++i) {
            if (i) out += ',';
            std::visit(
                [&](const auto& v) {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, SHORT> || std::is_same_v<T, LONG>) {
                        fmt::format_to(to, FMT_COMPILE("{}"), v);
                    } else if constexpr (std::is_same_v<T, std::string>) {
                        AppendJsonString(out, v);
                    } else if constexpr (std::is_same_v<T, TIMESTAMP_STRUCT>) {
                        fmt::format_to(to, FMT_COMPILE("\"{:04}-{:02}-{:02} {:02}:{:02}:{:02}."), v.year, v.month,
                                       v.day, v.hour, v.minute, v.second);
                        if (micro) fmt::format_to(to, FMT_COMPILE("{:06}\""), v.fraction / 1000);
                        else fmt::format_to(to, FMT_COMPILE("{:03}\""), v.fraction / 1000000);
                    } else {
                        out += "null";  // NULL; binary values never get here
                    }
                },
                rows[r][i]);
        }
        out += ']';
    }
    out += ']';
    return out;
}

}  // namespace qel::records
