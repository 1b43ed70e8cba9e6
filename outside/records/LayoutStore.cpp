// Layouts in the database: one LAY200 row per layout, its page ID in
// LAYPAGEID and the encoded layout in LAYDATA.
#include <qel/outside/records/LayoutData.h>

#include <fmt/format.h>

#include <qel/outside/odbc/Timestamp.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>
#include <qel/platform/OleDate.h>

CLayoutData::CLayoutData(CLayoutRecordset& rs) {
    std::string message;
    const auto& bytes = rs.m_LAYDATA.m_data;
    m_lKey = Deserialize(bytes.data(), bytes.size(), &message) ? rs.m_LAYKEY : -1;
    m_nPageID = rs.m_LAYPAGEID;  // the row's page ID wins over the one in LAYDATA
}

BOOL CLayoutData::SaveLayout(IRecordHost* pHost, LONG lParsed, std::string* pMessage) {
    auto fail = [&](const std::string& text) {
        if (pMessage != nullptr) *pMessage = text;
        return FALSE;
    };
    if (pHost == nullptr) return fail("no database to save the layout in");
    LONG key = 0;
    if (!pHost->AllocateRecordKey(eTableLAY, &key)) return fail("no key for a new layout");

    CLayoutRecordset rs(pHost);
    if (!rs.Open("LAYKEY=-1", nullptr, nullptr, 0)) return fail("the layout table cannot be opened");
    rs.AddNew();
    CQELRecordset::GetID(&rs.m_LAYID);
    rs.m_LAYKEY = key;
    rs.SetFieldDirty(&rs.m_LAYKEY);
    rs.m_LAYPAGEID = static_cast<SHORT>(lParsed);
    rs.SetFieldDirty(&rs.m_LAYPAGEID);
    try {
        rs.m_LAYTIME = qel::odbc::TimestampFromAutomationDate(qel::platform::NowLocal());
    } catch (const std::exception&) {
        rs.SetFieldNull(&rs.m_LAYTIME);
    }
    rs.m_LAYDATA.m_data = Serialize();
    rs.SetFieldDirty(&rs.m_LAYDATA);
    if (!rs.Update()) {
        const auto& error = rs.GetLastError();
        return fail(fmt::format("the layout of page {} was not saved: {}", lParsed,
                                error ? error->m_strError : std::string("no row written")));
    }
    if (pMessage != nullptr) pMessage->clear();
    return TRUE;
}
