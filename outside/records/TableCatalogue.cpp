#include <qel/outside/records/TableCatalogue.h>

#include <array>

namespace {

constexpr const char* NN = "NOT NULL";  // not-null mark of a kind-0 column

constexpr ColumnDescriptor kTBL[] = {
    {eKindPrimaryKey, eTypeSmallInt, "TBLNUMBER", 0, 0, "", ""},
    {eKindNone, eTypeInteger, "TBLNEXTKEY", 0, 0, "", ""},
    {eKindNone, eTypeSmallInt, "TBLVERSION", 0, 0, "", ""},
    {eKindNone, eTypeInteger, "TBLUSER", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "TBLDATA1", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "TBLDATA2", 0, 0, "", ""},
};

constexpr ColumnDescriptor kDOC[] = {
    {eKindNone, eTypeChar, "DOCID", 32, 1, "", ""},
    {eKindPrimaryKey, eTypeInteger, "DOCKEY", 0, 0, "", ""},
    {eKindIndexed, eTypeChar, "DOCNAME", 64, 2, "IDOCNAME", ""},
    {eKindNone, eTypeChar, "DOCKANJINAME", 64, 0, "", ""},
};

constexpr ColumnDescriptor kIMT[] = {
    {eKindPrimaryKey, eTypeInteger, "IMTKEY", 0, 0, "", ""},
    {eKindNone, eTypeChar, "IMTNAME", 40, 1, "", ""},
    {eKindNone, eTypeInteger, "IMTWARNING", 0, 0, "", ""},
    {eKindNone, eTypeInteger, "IMTERROR", 0, 0, "", ""},
};

constexpr ColumnDescriptor kMED[] = {
    {eKindNone, eTypeChar, "MEDID", 32, 1, "", ""},
    {eKindPrimaryKey, eTypeInteger, "MEDKEY", 0, 0, "", ""},
    {eKindForeignKey, eTypeInteger, "MEDIMTKEY", 0, 0, "IMT200", "IMTKEY"},
    {eKindNone, eTypeChar, "MEDDIRECTORY", 80, 2, "", ""},
    {eKindNone, eTypeChar, "MEDVOLUMELABEL", 40, 2, "", ""},
    {eKindNone, eTypeInteger, "MEDSIZE", 0, 0, "", ""},
};

constexpr ColumnDescriptor kPAT[] = {
    {eKindNone, eTypeChar, "PATID", 32, 1, "", ""},
    {eKindPrimaryKey, eTypeInteger, "PATKEY", 0, 0, "", ""},
    {eKindForeignKey, eTypeInteger, "PATDOCKEY", 0, 0, "DOC200", "DOCKEY"},
    {eKindIndexed, eTypeChar, "PATNAME", 64, 2, "IPATNAME", ""},
    {eKindNone, eTypeChar, "PATKANJINAME", 64, 0, "", ""},
    {eKindIndexed, eTypeChar, "PATNUMBER", 64, 2, "IPATNUMBER", ""},
    {eKindNone, eTypeTimestamp, "PATCREATED", 0, 0, "", ""},
    {eKindNone, eTypeSmallInt, "PATIMGCNT", 0, 0, "", ""},
    {eKindNone, eTypeTimestamp, "PATNEWESTIMG", 0, 0, "", ""},
    {eKindNone, eTypeTimestamp, "PATBIRTHDATE", 0, 0, "", ""},
    {eKindNone, eTypeSmallInt, "PATSEX", 0, 0, "", ""},
};

constexpr ColumnDescriptor kIMG[] = {
    {eKindNone, eTypeChar, "IMGID", 32, 1, "", ""},
    {eKindPrimaryKey, eTypeInteger, "IMGKEY", 0, 0, "", ""},
    {eKindForeignKey, eTypeInteger, "IMGPATKEY", 0, 0, "PAT200", "PATKEY"},
    {eKindForeignKey, eTypeInteger, "IMGDOCKEY", 0, 0, "DOC200", "DOCKEY"},
    {eKindForeignKey, eTypeInteger, "IMGMEDKEY", 0, 0, "MED200", "MEDKEY"},
    {eKindNone, eTypeSmallInt, "IMGTYPE", 0, 0, "", ""},
    {eKindIndexed, eTypeTimestamp, "IMGTIME", 0, 0, "IIMGTIME", ""},
    {eKindNone, eTypeLongVarChar, "IMGDIAGNOSIS", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "IMGDISPPARAMS", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "IMGVECTORDATA", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "IMGGENERALDATA", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "IMGDICOMTAGS", 0, 0, "", ""},
};

constexpr ColumnDescriptor kBMP[] = {
    {eKindForeignKey, eTypeInteger, "BMPIMGKEY", 0, 0, "IMG200", "IMGKEY"},
    {eKindNone, eTypeInteger, "BMPSIZE", 0, 0, "", ""},
    {eKindNone, eTypeSmallInt, "BMPCOMPRESSED", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "BMPTHUMBNAIL", 0, 0, NN, ""},
    {eKindNone, eTypeLongVarBinary, "BMPSMALLIMAGE", 0, 0, "", ""},
    {eKindNone, eTypeLongVarBinary, "BMPNORMALIMAGE", 0, 0, NN, ""},
};

constexpr ColumnDescriptor kSTA[] = {
    {eKindNone, eTypeChar, "STAID", 32, 1, "", ""},
    {eKindPrimaryKey, eTypeInteger, "STAKEY", 0, 0, "", ""},
    {eKindForeignKey, eTypeInteger, "STAPATKEY", 0, 0, "PAT200", "PATKEY"},
    {eKindForeignKey, eTypeInteger, "STADOCKEY", 0, 0, "DOC200", "DOCKEY"},
    {eKindNone, eTypeChar, "STANAME", 40, 0, "", ""},
    {eKindIndexed, eTypeTimestamp, "STATIME", 0, 0, "ISTATIME", ""},
    {eKindNone, eTypeLongVarBinary, "STADATA", 0, 0, "", ""},
};

constexpr ColumnDescriptor kLAY[] = {
    {eKindNone, eTypeChar, "LAYID", 32, 1, "", ""},
    {eKindPrimaryKey, eTypeInteger, "LAYKEY", 0, 0, "", ""},
    {eKindNone, eTypeSmallInt, "LAYPAGEID", 0, 0, "", ""},
    {eKindIndexed, eTypeTimestamp, "LAYTIME", 0, 0, "ILAYTIME", ""},
    {eKindNone, eTypeLongVarBinary, "LAYDATA", 0, 0, "", ""},
};

constexpr ColumnDescriptor kUSR[] = {
    {eKindPrimaryKey, eTypeInteger, "USRKEY", 0, 0, "", ""},
    {eKindNone, eTypeChar, "USRNAME", 40, 0, "", ""},
    {eKindNone, eTypeInteger, "USRCOUNT", 0, 0, "", ""},
};

constexpr ColumnDescriptor kLCK[] = {
    {eKindForeignKey, eTypeInteger, "LCKUSRKEY", 0, 1, "USR200", "USRKEY"},
    {eKindNone, eTypeSmallInt, "LCKTYPE", 0, 1, "", ""},
    {eKindNone, eTypeInteger, "LCKDATA", 0, 1, "", ""},
};

constexpr ColumnDescriptor kMSG[] = {
    {eKindForeignKey, eTypeInteger, "MSGUSRKEY", 0, 1, "USR200", "USRKEY"},
    {eKindNone, eTypeSmallInt, "MSGTYPE", 0, 1, "", ""},
    {eKindNone, eTypeInteger, "MSGDATA", 0, 1, "", ""},
};

constexpr std::array<TableDescriptor, 12> kTables = {{
    {"TBL200", eTableTBL, 0, kTBL},
    {"DOC200", eTableDOC, 11, kDOC},
    {"IMT200", eTableIMT, 11, kIMT},
    {"MED200", eTableMED, 11, kMED},
    {"PAT200", eTablePAT, 11, kPAT},
    {"IMG200", eTableIMG, 25, kIMG},
    {"BMP200", eTableBMP, 11, kBMP},
    {"STA200", eTableSTA, 11, kSTA},
    {"LAY200", eTableLAY, 11, kLAY},
    {"USR200", eTableUSR, 11, kUSR},
    {"LCK200", eTableLCK, 11, kLCK},
    {"MSG200", eTableMSG, 11, kMSG},
}};

}  // namespace

SHORT SqlTypeOfColumnType(LONG typeCode) {
    constexpr SHORT kSqlTypes[kColumnTypeCount] = {5, 4, 1, -1, -2, -4, 11};
    return typeCode >= 0 && typeCode < kColumnTypeCount ? kSqlTypes[typeCode] : 0;
}

int TableDescriptor::ColumnIndex(std::string_view column) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (column == columns[i].name) return static_cast<int>(i);
    return -1;
}

std::span<const TableDescriptor> TableCatalogue() { return kTables; }

const TableDescriptor* FindTable(std::string_view name) {
    for (const auto& table : kTables)
        if (name == table.name) return &table;
    return nullptr;
}

const TableDescriptor* FindTable(LONG number) {
    for (const auto& table : kTables)
        if (table.number == number) return &table;
    return nullptr;
}

bool IsColumnNotNull(const ColumnDescriptor& column) {
    if (column.kind == eKindPrimaryKey || column.kind == eKindForeignKey) return true;
    if (column.uniqueGroup > 0) return true;
    return column.kind == eKindNone && column.extra != nullptr && column.extra[0] != '\0';
}
