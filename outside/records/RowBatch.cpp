#include <qel/outside/records/RowBatchInternal.h>

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
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += fmt::format("\\u{:04x}", byte);
        } else {
            out += c;
        }
    }
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

bool CanInsertAsJson(const TableDescriptor& table) {
    for (const ColumnDescriptor& column : table.columns)
        if (column.type == eTypeBinary || column.type == eTypeLongVarBinary) return false;
    return true;
}

std::string JsonInsertSql(const TableDescriptor& table) {
    std::string values;
    for (size_t i = 0; i < table.columns.size(); ++i)
        values += fmt::format("{}json_extract(value, '$[{}]')", i ? ", " : "", i);
    return fmt::format("INSERT INTO {} ({}) SELECT {} FROM json_each(?)", table.name, ColumnList(table), values);
}

std::string JsonRows(std::span<const FieldRow> rows) {
    std::string out = "[";
    for (size_t r = 0; r < rows.size(); ++r) {
        out += r ? ",[" : "[";
        for (size_t i = 0; i < rows[r].size(); ++i) {
            if (i) out += ',';
            std::visit(
                [&](const auto& v) {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, SHORT> || std::is_same_v<T, LONG>) {
                        out += std::to_string(v);
                    } else if constexpr (std::is_same_v<T, std::string>) {
                        AppendJsonString(out, v);
                    } else if constexpr (std::is_same_v<T, TIMESTAMP_STRUCT>) {
                        out += fmt::format("\"{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:03}\"", v.year, v.month, v.day,
                                           v.hour, v.minute, v.second, v.fraction / 1000000);
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
