// CQELRecordset: a record set over one catalogue table, in the shape of MFC's
// CRecordset. Derived classes (one per cached table) bind one public field
// per column, in catalogue order.
//
//   CTableRecordset rs(pDatabaseObj);
//   LONG count = 0;
//   if (rs.Open("TBLNUMBER=4", nullptr, &count, 1) && count == 1) {
//       rs.Edit();
//       rs.m_TBLNEXTKEY += 1;
//       if (!rs.Update()) { /* someone else changed the row first */ }
//   }
//
// Reading: Open selects the matching rows. With a row count or flag 1 the
// rows are read at once and the statement is closed, so that nothing holds a
// read cursor while the caller writes; otherwise rows stream as MoveNext
// asks for them (a write first drains the cursor). Text read from fixed-length
// columns loses the engine's blank padding.
//
// Writing: AddNew resets every field to null; a field becomes non-null when
// its value is set to something other than the reset value, or when it is
// marked with SetFieldDirty / SetFieldNull(FALSE). Update inserts the new row,
// or, after Edit, changes the row only if every non-binary column still holds
// the value read (optimistic concurrency): FALSE when no row matched. Values
// always travel as bound parameters; text longer than its column (counted in
// characters) is refused before anything is written.
//
// The INSERT, and the UPDATE of the last set of changed columns, stay
// prepared for the next Update on the same connection. Many rows are
// inserted fastest in batches (BatchInserts): the SQLite driver prepares a
// statement again at every execution, and every execution on a server is
// a round trip.
//
// No exception leaves a public member: failures answer FALSE (or EOF) and
// the last database error is kept in GetLastError().
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Odbc.h>
#include <qel/outside/records/RecordHost.h>
#include <qel/outside/records/TableCatalogue.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

// A long-binary field: the owned bytes take the place of a global memory block.
struct CLongBinary {
    std::vector<unsigned char> m_data;
    size_t GetSize() const { return m_data.size(); }
    bool operator==(const CLongBinary&) const = default;
};

namespace qel::odbc {
class Statement;
}

class QEL_API CQELRecordset {
public:
    virtual ~CQELRecordset();
    CQELRecordset(const CQELRecordset&) = delete;
    CQELRecordset& operator=(const CQELRecordset&) = delete;

    // Selects the rows matching `filter` (SQL condition text made by the
    // caller from column names and numbers, or null) in `sort` order (or
    // null). `plCount`, when given, receives the number of rows. `flag` 1
    // asks for the rows to be read at once (the caller will write).
    BOOL Open(LPCSTR filter, LPCSTR sort, LONG* plCount, int flag);
    void Close();
    BOOL IsOpen() const { return m_bOpen; }

    BOOL IsBOF() const;
    BOOL IsEOF() const;
    void MoveFirst();
    void MoveNext();

    void AddNew();
    void Edit();
    // Always called with 0.
    BOOL Update(int nReserved = 0);
    void CancelUpdate();

    // Collects the rows of AddNew + Update and inserts them `rows` at a time
    // with one multi-row INSERT (0 or 1: every Update writes its row). The
    // Update that fills a batch writes it and answers for all its rows;
    // FlushInserts writes what is collected, as do Open, Close and an Update
    // after Edit first. Lengths are still checked row by row before anything
    // is collected. On SQLite and PostgreSQL a batch of a table without
    // binary columns is one statement with its rows in one JSON parameter;
    // otherwise it goes in statements of at most 5,500 parameters, within
    // one savepoint.
    void BatchInserts(size_t rows);
    BOOL FlushInserts();
    // After a batch failed: the position in the batch of the row that
    // failed (the batch is written again row by row, inside a savepoint when
    // a transaction runs, to find it); empty when the last failure was not a
    // batch's.
    std::optional<size_t> GetFailedBatchRow() const { return m_failedBatchRow; }

    void SetFieldDirty(const void* pField, BOOL bDirty = TRUE);
    void SetFieldNull(const void* pField, BOOL bNull = TRUE);
    BOOL IsFieldNull(const void* pField) const;

    // The last database error of this record set, if any.
    const std::optional<CDBException>& GetLastError() const { return m_lastError; }

    // A new 32-character identity: upper-case hex of 128 random bits.
    static void GetID(std::string* pID);

protected:
    CQELRecordset(IRecordHost* pHost, const char* tableName);

    using FieldPtr = std::variant<SHORT*, LONG*, std::string*, CLongBinary*, TIMESTAMP_STRUCT*>;
    void Bind(const char* column, FieldPtr field);

private:
    using Value = std::variant<std::monostate, SHORT, LONG, std::string, CLongBinary, TIMESTAMP_STRUCT>;
    using Row = std::vector<Value>;
    struct Cursor;
    struct Writer;
    enum class Mode { None, AddNew, Edit };

    int FieldIndex(const void* pField) const;
    void LoadRow(const Row& row);
    Value FieldValue(size_t i) const;
    void ResetFields();
    bool FetchNext(Row* row);
    void ReadColumns(qel::odbc::Statement& st, Row* row) const;
    // Reads the block's current row again by its key, without bound
    // buffers; false when the row has no key to find it by.
    bool RereadRow(qel::odbc::Statement& block, Row* row);
    void DrainCursor();
    void Fail(const CDBException& e);
    bool FieldIsNull(size_t i) const;
    void CheckLengths() const;
    // The statement of `sql` on `db`, prepared once and kept in `slot` for
    // the rows after (a write of thousands of rows prepares it once).
    Writer& PreparedWriter(std::unique_ptr<Writer>& slot, CDatabase& db, const std::string& sql);
    void ExecuteInsert(CDatabase& db, std::unique_ptr<Writer>& slot, std::span<const Row> rows);
    // Writes the rows of a failed batch one by one; the first that fails
    // throws, and m_failedBatchRow says which it was.
    void InsertOneByOne(CDatabase& db, const std::vector<Row>& rows);

    IRecordHost* m_pHost;
    const TableDescriptor& m_table;
    std::vector<FieldPtr> m_fields;    // by column position
    std::vector<bool> m_null;          // current null state per field
    std::vector<bool> m_dirty;         // explicitly marked per field
    std::vector<Row> m_rows;           // rows read so far
    Row m_original;                    // the row Edit started from
    std::unique_ptr<Cursor> m_cursor;  // streaming read, when open
    std::unique_ptr<Writer> m_insert;  // the last INSERT and UPDATE prepared
    std::unique_ptr<Writer> m_update;
    std::unique_ptr<Writer> m_batchInsert;
    size_t m_batchRows = 0;
    std::vector<Row> m_batch;  // rows collected for the next multi-row INSERT
    std::optional<size_t> m_failedBatchRow;
    size_t m_position = 0;
    bool m_bOpen = false;
    bool m_bEmpty = true;
    Mode m_mode = Mode::None;
    std::optional<CDBException> m_lastError;
};

class QEL_API CTableRecordset : public CQELRecordset {
public:
    explicit CTableRecordset(IRecordHost* pHost);
    SHORT m_TBLNUMBER = 0;
    LONG m_TBLNEXTKEY = 0;
    SHORT m_TBLVERSION = 0;
    LONG m_TBLUSER = 0;
    CLongBinary m_TBLDATA1;
    CLongBinary m_TBLDATA2;
};

class QEL_API CDoctorRecordset : public CQELRecordset {
public:
    explicit CDoctorRecordset(IRecordHost* pHost);
    std::string m_DOCID;
    LONG m_DOCKEY = 0;
    std::string m_DOCNAME;
    std::string m_DOCKANJINAME;
};

class QEL_API CMediaTypeRecordset : public CQELRecordset {
public:
    explicit CMediaTypeRecordset(IRecordHost* pHost);
    LONG m_IMTKEY = 0;
    std::string m_IMTNAME;
    LONG m_IMTWARNING = 0;
    LONG m_IMTERROR = 0;
};

class QEL_API CMediaRecordset : public CQELRecordset {
public:
    explicit CMediaRecordset(IRecordHost* pHost);
    std::string m_MEDID;
    LONG m_MEDKEY = 0;
    LONG m_MEDIMTKEY = 0;
    std::string m_MEDDIRECTORY;
    std::string m_MEDVOLUMELABEL;
    LONG m_MEDSIZE = 0;
};

class QEL_API CPatientRecordset : public CQELRecordset {
public:
    explicit CPatientRecordset(IRecordHost* pHost);
    std::string m_PATID;
    LONG m_PATKEY = 0;
    LONG m_PATDOCKEY = 0;
    std::string m_PATNAME;
    std::string m_PATKANJINAME;
    std::string m_PATNUMBER;
    TIMESTAMP_STRUCT m_PATCREATED{};
    SHORT m_PATIMGCNT = 0;
    TIMESTAMP_STRUCT m_PATNEWESTIMG{};
    TIMESTAMP_STRUCT m_PATBIRTHDATE{};
    SHORT m_PATSEX = 0;
};

class QEL_API CLayoutRecordset : public CQELRecordset {
public:
    explicit CLayoutRecordset(IRecordHost* pHost);
    std::string m_LAYID;
    LONG m_LAYKEY = 0;
    SHORT m_LAYPAGEID = 0;
    TIMESTAMP_STRUCT m_LAYTIME{};
    CLongBinary m_LAYDATA;
};
