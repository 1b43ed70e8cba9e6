#include <qel/outside/records/Recordset.h>

#include <algorithm>
#include <cstring>
#include <random>

#include <fmt/format.h>

#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/outside/records/RowBatchInternal.h>

// Field values are compared to find what an edit changed.
static bool operator==(const TIMESTAMP_STRUCT& a, const TIMESTAMP_STRUCT& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.fraction == b.fraction;
}

namespace {

size_t CharacterCount(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

void TrimTrailingBlanks(std::string& text) {
    const auto end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

bool IsBinary(const ColumnDescriptor& column) {
    return column.type == eTypeBinary || column.type == eTypeLongVarBinary;
}

// "SELECT <every column> FROM <table>"
std::string SelectList(const TableDescriptor& table) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += table.columns[i].name;
    }
    return sql + " FROM " + table.name;
}

// The columns of the table as the statement reads them: all but the long
// ones bound, so rows arrive in blocks.
std::vector<qel::odbc::ResultColumn> ResultColumns(const TableDescriptor& table) {
    using qel::odbc::ResultKind;
    std::vector<qel::odbc::ResultColumn> columns;
    columns.reserve(table.columns.size());
    for (const ColumnDescriptor& column : table.columns) {
        switch (column.type) {
            case eTypeSmallInt: columns.push_back({ResultKind::Int16}); break;
            case eTypeInteger: columns.push_back({ResultKind::Int32}); break;
            case eTypeChar: columns.push_back({ResultKind::Text, static_cast<std::size_t>(column.length)}); break;
            case eTypeTimestamp: columns.push_back({ResultKind::Timestamp}); break;
            default: columns.push_back({ResultKind::Long}); break;
        }
    }
    return columns;
}

}  // namespace

// The statement of a streaming read.
struct CQELRecordset::Cursor {
    explicit Cursor(CDatabase& db) : statement(db) {}
    qel::odbc::Statement statement;
};

// A prepared write: the statement, its text and the connection it is on.
struct CQELRecordset::Writer {
    Writer(CDatabase& db, std::string text) : database(&db), sql(std::move(text)), statement(db) {}
    CDatabase* database;
    std::string sql;
    qel::odbc::Statement statement;
};

CQELRecordset::CQELRecordset(IRecordHost* pHost, const char* tableName)
    : m_pHost(pHost), m_table(*FindTable(tableName)) {
    const auto n = m_table.columns.size();
    m_fields.resize(n);
    m_null.assign(n, false);
    m_dirty.assign(n, false);
}

// Rows collected for a batch are written rather than lost; a failure stays
// in GetLastError() like any other.
CQELRecordset::~CQELRecordset() { FlushInserts(); }

void CQELRecordset::Bind(const char* column, FieldPtr field) {
    const int index = m_table.ColumnIndex(column);
    if (index >= 0) m_fields[static_cast<size_t>(index)] = field;
}

void CQELRecordset::GetID(std::string* pID) {
    static thread_local std::mt19937_64 engine([] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }());
    const std::uint64_t high = engine();
    const std::uint64_t low = engine();
    *pID = fmt::format("{:016X}{:016X}", high, low);
}

void CQELRecordset::Fail(const CDBException& e) { m_lastError = e; }

// --- Reading ---------------------------------------------------------------

BOOL CQELRecordset::Open(LPCSTR filter, LPCSTR sort, LONG* plCount, int flag) {
    FlushInserts();
    Close();
    m_lastError.reset();
    try {
        CDatabase* db = m_pHost ? m_pHost->GetRecordConnection() : nullptr;
        if (db == nullptr || !db->IsOpen())
            throw CDBException("08003", "the database connection is not open", "CQELRecordset::Open");

        std::string sql = SelectList(m_table);
        if (filter != nullptr && *filter != '\0') sql += fmt::format(" WHERE {}", filter);
        if (sort != nullptr && *sort != '\0') sql += fmt::format(" ORDER BY {}", sort);

        m_cursor = std::make_unique<Cursor>(*db);
        // Executed once, so not prepared (see Statement::ExecuteDirect).
        m_cursor->statement.BindResult(ResultColumns(m_table));
        m_cursor->statement.ExecuteDirect(sql);

        Row row;
        if (plCount != nullptr || flag == 1) {
            while (FetchNext(&row)) m_rows.push_back(std::move(row));
            m_cursor.reset();
            if (plCount != nullptr) *plCount = static_cast<LONG>(m_rows.size());
        } else if (FetchNext(&row)) {
            m_rows.push_back(std::move(row));
        }
        m_bOpen = true;
        m_bEmpty = m_rows.empty();
        m_position = 0;
        if (!m_rows.empty()) LoadRow(m_rows.front());
        return TRUE;
    } catch (const CDBException& e) {
        Fail(e);
    } catch (const std::exception& e) {
        Fail(CDBException("HY000", e.what(), "CQELRecordset::Open"));
    }
    Close();
    return FALSE;
}

void CQELRecordset::Close() {
    FlushInserts();
    m_cursor.reset();
    m_insert.reset();
    m_update.reset();
    m_batchInsert.reset();
    m_rows.clear();
    m_original.clear();
    m_position = 0;
    m_bOpen = false;
    m_bEmpty = true;
    m_mode = Mode::None;
}

// Reads the current row into `row`, assigning into the values it already
// holds so that a row read over and over keeps its strings' storage.
bool CQELRecordset::FetchNext(Row* row) {
    if (!m_cursor) return false;
    auto& st = m_cursor->statement;
    if (!st.Fetch()) {
        m_cursor.reset();
        return false;
    }
    try {
        ReadColumns(st, row);
    } catch (const CDBException& e) {
        // A text longer than its column, which the driver cannot give again
        // from the bound block: the row is read once more on its own.
        if (e.m_strSQLState != "01004" || !RereadRow(st, row)) throw;
    }
    return true;
}

bool CQELRecordset::RereadRow(qel::odbc::Statement& block, Row* row) {
    const auto keyColumn = std::find_if(m_table.columns.begin(), m_table.columns.end(),
                                        [](const ColumnDescriptor& c) { return c.kind == eKindPrimaryKey; });
    CDatabase* db = m_pHost ? m_pHost->GetRecordConnection() : nullptr;
    if (keyColumn == m_table.columns.end() || db == nullptr) return false;
    const auto keyNumber = static_cast<SQLUSMALLINT>(keyColumn - m_table.columns.begin() + 1);
    const std::optional<std::int32_t> key = keyColumn->type == eTypeSmallInt
                                                ? std::optional<std::int32_t>(block.GetInt16(keyNumber))
                                                : block.GetInt32(keyNumber);
    if (!key) return false;
    qel::odbc::Statement single(*db);
    single.Prepare(fmt::format("{} WHERE {} = ?", SelectList(m_table), keyColumn->name));
    single.SetInt32(1, *key);
    single.Execute();
    if (!single.Fetch())
        throw CDBException("01004", fmt::format("{} row {} changed while it was read", m_table.name, *key),
                           "CQELRecordset::Open");
    ReadColumns(single, row);
    return true;
}

void CQELRecordset::ReadColumns(qel::odbc::Statement& st, Row* row) const {
    row->resize(m_table.columns.size());
    for (size_t i = 0; i < m_table.columns.size(); ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        Value& value = (*row)[i];
        switch (m_table.columns[i].type) {
            case eTypeSmallInt:
                if (auto v = st.GetInt16(column)) value = SHORT{*v};
                else value = std::monostate{};
                break;
            case eTypeInteger:
                if (auto v = st.GetInt32(column)) value = LONG{*v};
                else value = std::monostate{};
                break;
            case eTypeChar:
            case eTypeLongVarChar: {
                std::string* text = std::get_if<std::string>(&value);
                if (text == nullptr) text = &value.emplace<std::string>();
                if (!st.ReadText(column, *text)) {
                    value = std::monostate{};
                } else if (m_table.columns[i].type == eTypeChar) {
                    TrimTrailingBlanks(*text);
                }
                break;
            }
            case eTypeBinary:
            case eTypeLongVarBinary:
                if (auto v = st.GetBinary(column)) value = CLongBinary{std::move(*v)};
                else value = std::monostate{};
                break;
            case eTypeTimestamp:
                if (auto v = st.GetTimestamp(column)) value = *v;
                else value = std::monostate{};
                break;
            default:
                value = std::monostate{};
                break;
        }
    }
}

void CQELRecordset::LoadRow(const Row& row) {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const Value& value = row[i];
        m_null[i] = std::holds_alternative<std::monostate>(value);
        m_dirty[i] = false;
        std::visit(
            [&](auto* field) {
                using Field = std::remove_pointer_t<decltype(field)>;
                if (field == nullptr) return;
                if (const auto* v = std::get_if<Field>(&value))
                    *field = *v;
                else
                    *field = Field{};
            },
            m_fields[i]);
    }
}

void CQELRecordset::DrainCursor() {
    Row row;
    try {
        while (FetchNext(&row)) m_rows.push_back(std::move(row));
    } catch (const CDBException& e) {
        Fail(e);
        m_cursor.reset();
    }
}

BOOL CQELRecordset::IsBOF() const { return m_bEmpty ? TRUE : FALSE; }

BOOL CQELRecordset::IsEOF() const { return (!m_bOpen || m_position >= m_rows.size()) ? TRUE : FALSE; }

void CQELRecordset::MoveFirst() {
    if (!m_bOpen || m_rows.empty()) return;
    m_mode = Mode::None;
    m_position = 0;
    LoadRow(m_rows.front());
}

void CQELRecordset::MoveNext() {
    if (IsEOF()) return;
    m_mode = Mode::None;
    if (m_position + 1 < m_rows.size()) {
        LoadRow(m_rows[++m_position]);
        return;
    }
    try {
        // A streaming read keeps only the current row, read into the place
        // of the one before.
        if (m_cursor) m_rows.resize(1);
        if (m_cursor && FetchNext(&m_rows.front())) {
            m_position = 0;
            LoadRow(m_rows.front());
            return;
        }
    } catch (const CDBException& e) {
        Fail(e);
        m_cursor.reset();
    }
    m_position = m_rows.size();
}

// --- Writing ---------------------------------------------------------------

int CQELRecordset::FieldIndex(const void* pField) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const void* address = std::visit([](auto* field) -> const void* { return field; }, m_fields[i]);
        if (address != nullptr && address == pField) return static_cast<int>(i);
    }
    return -1;
}

void CQELRecordset::SetFieldDirty(const void* pField, BOOL bDirty) {
    const int i = FieldIndex(pField);
    if (i < 0) return;
    m_dirty[static_cast<size_t>(i)] = bDirty != FALSE;
    if (bDirty) m_null[static_cast<size_t>(i)] = false;
}

void CQELRecordset::SetFieldNull(const void* pField, BOOL bNull) {
    const int i = FieldIndex(pField);
    if (i < 0) return;
    m_null[static_cast<size_t>(i)] = bNull != FALSE;
    m_dirty[static_cast<size_t>(i)] = true;
}

BOOL CQELRecordset::IsFieldNull(const void* pField) const {
    const int i = FieldIndex(pField);
    return (i >= 0 && FieldIsNull(static_cast<size_t>(i))) ? TRUE : FALSE;
}

void CQELRecordset::ResetFields() {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        std::visit(
            [](auto* field) {
                if (field != nullptr) *field = std::remove_pointer_t<decltype(field)>{};
            },
            m_fields[i]);
        m_null[i] = true;
        m_dirty[i] = false;
    }
}

// A field is null when marked so, or when it was null and has not been given
// a value since (a value equal to the reset value does not count; mark such
// a field dirty to store it).
bool CQELRecordset::FieldIsNull(size_t i) const {
    if (!m_null[i]) return false;
    if (m_dirty[i]) return true;  // SetFieldNull(TRUE)
    const Value reset = std::visit([](auto* field) -> Value {
        if (field == nullptr) return std::monostate{};
        return std::remove_pointer_t<decltype(field)>{};
    }, m_fields[i]);
    const Value now = std::visit([](auto* field) -> Value {
        if (field == nullptr) return std::monostate{};
        return *field;
    }, m_fields[i]);
    if (std::holds_alternative<std::monostate>(now)) return true;
    return std::visit(
        [&](const auto& current) -> bool {
            using T = std::decay_t<decltype(current)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return true;
            } else if constexpr (std::is_same_v<T, CLongBinary>) {
                return current == std::get<CLongBinary>(reset);
            } else {
                return current == std::get<T>(reset);
            }
        },
        now);
}

CQELRecordset::Value CQELRecordset::FieldValue(size_t i) const {
    if (FieldIsNull(i)) return std::monostate{};
    return std::visit(
        [&](auto* field) -> Value {
            if (field == nullptr) return std::monostate{};
            using Field = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<Field, std::string>) {
                std::string text = *field;
                if (m_table.columns[i].type == eTypeChar) TrimTrailingBlanks(text);
                return text;
            } else {
                return *field;
            }
        },
        m_fields[i]);
}

void CQELRecordset::CheckLengths() const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const ColumnDescriptor& column = m_table.columns[i];
        if (column.type != eTypeChar) continue;
        const Value value = FieldValue(i);
        if (const auto* text = std::get_if<std::string>(&value)) {
            const size_t count = CharacterCount(*text);
            if (count > static_cast<size_t>(column.length))
                throw CDBException("22001",
                                   fmt::format("{}.{}: the text has {} characters, the column holds at most {}",
                                               m_table.name, column.name, count, column.length),
                                   "CQELRecordset::Update");
        }
    }
}

void CQELRecordset::AddNew() {
    DrainCursor();
    ResetFields();
    m_mode = Mode::AddNew;
}

void CQELRecordset::Edit() {
    DrainCursor();
    if (IsEOF()) {
        Fail(CDBException("HY109", "there is no current row to edit", "CQELRecordset::Edit"));
        m_mode = Mode::None;
        return;
    }
    m_original = m_rows[m_position];
    m_mode = Mode::Edit;
}

void CQELRecordset::CancelUpdate() {
    if (m_mode == Mode::None) return;
    m_mode = Mode::None;
    if (!IsEOF()) LoadRow(m_rows[m_position]);
}

namespace {

void BindValue(qel::odbc::Statement& st, SQLUSMALLINT number, const ColumnDescriptor& column,
               const std::variant<std::monostate, SHORT, LONG, std::string, CLongBinary, TIMESTAMP_STRUCT>& value) {
    static constexpr SQLSMALLINT kNullTypes[] = {SQL_SMALLINT, SQL_INTEGER, SQL_VARCHAR, SQL_LONGVARCHAR,
                                                 SQL_VARBINARY, SQL_LONGVARBINARY, SQL_TYPE_TIMESTAMP};
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                st.SetNull(number, kNullTypes[column.type]);
            else if constexpr (std::is_same_v<T, SHORT>)
                st.SetInt16(number, v);
            else if constexpr (std::is_same_v<T, LONG>)
                st.SetInt32(number, v);
            else if constexpr (std::is_same_v<T, std::string>)
                st.SetText(number, v);
            else if constexpr (std::is_same_v<T, CLongBinary>)
                st.SetBinary(number, v.m_data);
            else
                st.SetTimestamp(number, v);
        },
        value);
}

}  // namespace

CQELRecordset::Writer& CQELRecordset::PreparedWriter(std::unique_ptr<Writer>& slot, CDatabase& db,
                                                     const std::string& sql) {
    // A statement of a connection that has been closed since has no handle.
    const bool reusable = slot && slot->database == &db && slot->sql == sql &&
                          slot->statement.Handle() != SQL_NULL_HSTMT;
    if (!reusable) {
        slot.reset();
        auto fresh = std::make_unique<Writer>(db, sql);
        fresh->statement.Prepare(sql);
        slot = std::move(fresh);
    }
    return *slot;
}

void CQELRecordset::BatchInserts(size_t rows) {
    // SQLite takes at most 32,766 parameters in one statement.
    constexpr size_t kMaxParameters = 30000;
    m_batchRows = std::min(rows, kMaxParameters / std::max<size_t>(1, m_table.columns.size()));
}

void CQELRecordset::ExecuteInsert(CDatabase& db, std::unique_ptr<Writer>& slot, std::span<const Row> rows) {
    const qel::odbc::Engine engine = db.Engine();
    if (rows.size() > 1 && qel::records::CanInsertAsJson(m_table, engine)) {
        qel::odbc::Statement& st = PreparedWriter(slot, db, qel::records::JsonInsertSql(m_table, engine)).statement;
        st.SetText(1, qel::records::JsonRows(rows, engine));
        st.Execute();
        return;
    }
    // Rows with binary values, or for an engine that reads no JSON, go as
    // parameters. psqlODBC dropped the connection on a multi-row INSERT of
    // 8,184 parameters and carried one of 7,150; a batch goes in statements
    // of at most this many.
    constexpr size_t kMaxServerParameters = 5500;
    const size_t n = m_table.columns.size();
    const size_t perStatement = std::max<size_t>(1, kMaxServerParameters / std::max<size_t>(1, n));
    for (size_t first = 0; first < rows.size(); first += perStatement) {
        const std::span<const Row> part = rows.subspan(first, std::min(perStatement, rows.size() - first));
        qel::odbc::Statement& st =
            PreparedWriter(slot, db, qel::records::MultiRowInsertSql(m_table, part.size())).statement;
        for (size_t r = 0; r < part.size(); ++r)
            for (size_t i = 0; i < n; ++i)
                BindValue(st, static_cast<SQLUSMALLINT>(r * n + i + 1), m_table.columns[i], part[r][i]);
        st.Execute();
    }
}

void CQELRecordset::InsertOneByOne(CDatabase& db, const std::vector<Row>& rows) {
    for (size_t r = 0; r < rows.size(); ++r) {
        m_failedBatchRow = r;
        ExecuteInsert(db, m_insert, std::span(&rows[r], 1));
    }
    m_failedBatchRow.reset();
}

BOOL CQELRecordset::FlushInserts() {
    if (m_batch.empty()) return TRUE;
    std::vector<Row> rows = std::move(m_batch);
    m_batch.clear();
    m_failedBatchRow.reset();
    CDatabase* db = m_pHost ? m_pHost->GetRecordConnection() : nullptr;
    try {
        if (db == nullptr || !db->IsOpen())
            throw CDBException("08003", "the database connection is not open", "CQELRecordset::FlushInserts");
        // A server's transaction cannot go on after a failed statement
        // unless a savepoint takes the failure back.
        const bool guarded = db->InTransaction() != FALSE;
        if (guarded) db->ExecuteSQL("SAVEPOINT qel_batch");
        try {
            ExecuteInsert(*db, m_batchInsert, rows);
            if (guarded) db->ExecuteSQL("RELEASE SAVEPOINT qel_batch");
            return TRUE;
        } catch (const CDBException&) {
            if (guarded) {
                db->ExecuteSQL("ROLLBACK TO SAVEPOINT qel_batch");
                db->ExecuteSQL("RELEASE SAVEPOINT qel_batch");
            }
        }
        InsertOneByOne(*db, rows);
        return TRUE;
    } catch (const CDBException& e) {
        Fail(e);
    } catch (const std::exception& e) {
        Fail(CDBException("HY000", e.what(), "CQELRecordset::FlushInserts"));
    }
    return FALSE;
}

BOOL CQELRecordset::Update(int /*nReserved*/) {
    if (m_mode == Mode::None) return FALSE;
    m_failedBatchRow.reset();
    try {
        CDatabase* db = m_pHost ? m_pHost->GetRecordConnection() : nullptr;
        if (db == nullptr || !db->IsOpen())
            throw CDBException("08003", "the database connection is not open", "CQELRecordset::Update");
        CheckLengths();

        const size_t n = m_table.columns.size();
        Row written(n);
        for (size_t i = 0; i < n; ++i) written[i] = FieldValue(i);

        if (m_mode == Mode::AddNew && m_batchRows > 1) {
            m_batch.push_back(std::move(written));
            m_mode = Mode::None;
            return m_batch.size() >= m_batchRows ? FlushInserts() : TRUE;
        }
        if (m_mode == Mode::AddNew) {
            ExecuteInsert(*db, m_insert, std::span(&written, 1));
            m_mode = Mode::None;
            return TRUE;
        }
        if (!FlushInserts()) {
            m_mode = Mode::None;
            return FALSE;
        }

        // Edit: set what changed, where every non-binary column still holds what was read.
        std::string set, where;
        SQLUSMALLINT number = 0;
        std::vector<std::pair<size_t, const Value*>> parameters;
        for (size_t i = 0; i < n; ++i) {
            if (!m_dirty[i] && written[i] == m_original[i]) continue;
            set += fmt::format("{}{} = ?", set.empty() ? "" : ", ", m_table.columns[i].name);
            parameters.emplace_back(i, &written[i]);
        }
        if (set.empty()) {
            m_mode = Mode::None;
            return TRUE;
        }
        for (size_t i = 0; i < n; ++i) {
            if (IsBinary(m_table.columns[i])) continue;
            where += where.empty() ? "" : " AND ";
            if (std::holds_alternative<std::monostate>(m_original[i])) {
                where += fmt::format("{} IS NULL", m_table.columns[i].name);
            } else {
                where += fmt::format("{} = ?", m_table.columns[i].name);
                parameters.emplace_back(i, &m_original[i]);
            }
        }
        qel::odbc::Statement& st =
            PreparedWriter(m_update, *db, fmt::format("UPDATE {} SET {} WHERE {}", m_table.name, set, where)).statement;
        st.ClearParameters();
        for (const auto& [column, value] : parameters) BindValue(st, ++number, m_table.columns[column], *value);
        const SQLLEN rows = st.Execute();
        m_mode = Mode::None;
        if (rows < 1) return FALSE;
        m_rows[m_position] = std::move(written);
        return TRUE;
    } catch (const CDBException& e) {
        Fail(e);
    } catch (const std::exception& e) {
        Fail(CDBException("HY000", e.what(), "CQELRecordset::Update"));
    }
    m_mode = Mode::None;
    return FALSE;
}

// --- The record sets of the cached tables -------------------------------------

CTableRecordset::CTableRecordset(IRecordHost* pHost) : CQELRecordset(pHost, "TBL200") {
    Bind("TBLNUMBER", &m_TBLNUMBER);
    Bind("TBLNEXTKEY", &m_TBLNEXTKEY);
    Bind("TBLVERSION", &m_TBLVERSION);
    Bind("TBLUSER", &m_TBLUSER);
    Bind("TBLDATA1", &m_TBLDATA1);
    Bind("TBLDATA2", &m_TBLDATA2);
}

CDoctorRecordset::CDoctorRecordset(IRecordHost* pHost) : CQELRecordset(pHost, "DOC200") {
    Bind("DOCID", &m_DOCID);
    Bind("DOCKEY", &m_DOCKEY);
    Bind("DOCNAME", &m_DOCNAME);
    Bind("DOCKANJINAME", &m_DOCKANJINAME);
}

CMediaTypeRecordset::CMediaTypeRecordset(IRecordHost* pHost) : CQELRecordset(pHost, "IMT200") {
    Bind("IMTKEY", &m_IMTKEY);
    Bind("IMTNAME", &m_IMTNAME);
    Bind("IMTWARNING", &m_IMTWARNING);
    Bind("IMTERROR", &m_IMTERROR);
}

CMediaRecordset::CMediaRecordset(IRecordHost* pHost) : CQELRecordset(pHost, "MED200") {
    Bind("MEDID", &m_MEDID);
    Bind("MEDKEY", &m_MEDKEY);
    Bind("MEDIMTKEY", &m_MEDIMTKEY);
    Bind("MEDDIRECTORY", &m_MEDDIRECTORY);
    Bind("MEDVOLUMELABEL", &m_MEDVOLUMELABEL);
    Bind("MEDSIZE", &m_MEDSIZE);
}

CPatientRecordset::CPatientRecordset(IRecordHost* pHost) : CQELRecordset(pHost, "PAT200") {
    Bind("PATID", &m_PATID);
    Bind("PATKEY", &m_PATKEY);
    Bind("PATDOCKEY", &m_PATDOCKEY);
    Bind("PATNAME", &m_PATNAME);
    Bind("PATKANJINAME", &m_PATKANJINAME);
    Bind("PATNUMBER", &m_PATNUMBER);
    Bind("PATCREATED", &m_PATCREATED);
    Bind("PATIMGCNT", &m_PATIMGCNT);
    Bind("PATNEWESTIMG", &m_PATNEWESTIMG);
    Bind("PATBIRTHDATE", &m_PATBIRTHDATE);
    Bind("PATSEX", &m_PATSEX);
}

CLayoutRecordset::CLayoutRecordset(IRecordHost* pHost) : CQELRecordset(pHost, "LAY200") {
    Bind("LAYID", &m_LAYID);
    Bind("LAYKEY", &m_LAYKEY);
    Bind("LAYPAGEID", &m_LAYPAGEID);
    Bind("LAYTIME", &m_LAYTIME);
    Bind("LAYDATA", &m_LAYDATA);
}
