#include <qel/schema/DdlText.h>

#include <fmt/format.h>

namespace {

std::string TypeClause(const ColumnDescriptor& column, const TypeNames& types) {
    std::string text = types[static_cast<size_t>(column.type)];
    if (column.type == eTypeChar || column.type == eTypeBinary) text += fmt::format("({})", column.length);
    return text;
}

}  // namespace

std::string CreateTableText(LONG engine, const std::string& table, std::span<const ColumnDescriptor> columns,
                            const TypeNames& types) {
    const bool named = engine == 2;
    std::array<std::string, kMaxUniqueGroups + 1> unique;
    std::array<bool, kMaxUniqueGroups + 1> used{};
    for (int slot = 0; slot <= kMaxUniqueGroups; ++slot)
        unique[slot] = named ? fmt::format(", CONSTRAINT U{}{} UNIQUE (", table, slot) : std::string(", UNIQUE (");

    std::string text = "CREATE TABLE " + table + " (";
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnDescriptor& c = columns[i];
        if (i > 0) text += ", ";
        text += c.name;
        text += ' ';
        text += TypeClause(c, types);
        switch (c.kind) {
            case eKindNone:
                if (c.uniqueGroup == 0 && c.extra != nullptr && c.extra[0] != '\0') text += " NOT NULL";
                break;
            case eKindPrimaryKey:
                text += named ? fmt::format(" NOT NULL CONSTRAINT P{}{} PRIMARY KEY", table, i) : " NOT NULL PRIMARY KEY";
                break;
            case eKindForeignKey:
                text += named ? fmt::format(" NOT NULL CONSTRAINT F{}{} REFERENCES ", table, i) : " NOT NULL REFERENCES ";
                text += fmt::format("{} ({})", c.extra, c.refColumn);
                break;
            default:
                break;  // an indexed column gets its index after the table
        }
        if (c.uniqueGroup > 0 && c.uniqueGroup <= kMaxUniqueGroups) {
            if (c.kind != eKindPrimaryKey && c.kind != eKindForeignKey) text += " NOT NULL";
            const auto g = static_cast<size_t>(c.uniqueGroup);
            if (used[g]) unique[g] += ", ";
            unique[g] += c.name;
            used[g] = true;
        }
    }
    for (size_t slot = 0; slot < unique.size(); ++slot)
        if (used[slot]) text += unique[slot] + ")";
    text += ")";
    return text;
}

std::string CreateIndexText(const std::string& table, const std::string& index, const std::string& column) {
    return "CREATE INDEX " + index + " ON " + table + " (" + column + ")";
}

std::string DropIndexText(const std::string& table, const std::string& index) {
    return "DROP INDEX " + table + "." + index;
}

std::string AddColumnText(const std::string& table, const ColumnDescriptor& column, const TypeNames& types) {
    return "ALTER TABLE " + table + " ADD " + column.name + " " + TypeClause(column, types);
}
