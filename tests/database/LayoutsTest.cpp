// Page layouts of a new database made from the shipped layout files, and
// what happens when stored layouts are incomplete or cannot be decoded.
#include <gtest/gtest.h>

#include <memory>

#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/Recordset.h>

#include "support/EngineDatabase.h"

namespace {

class Layouts : public qel::test::OpenedDatabase {
protected:
    // Rewrites the stored layout of `page` after `change` has edited it.
    template <class Change>
    void RewriteLayout(SHORT page, Change change) {
        CLayoutRecordset rs(&m_db);
        LONG count = 0;
        const std::string filter = "LAYPAGEID=" + std::to_string(page);
        ASSERT_TRUE(rs.Open(filter.c_str(), nullptr, &count, 1));
        ASSERT_EQ(count, 1);
        CLayoutData layout(rs);
        ASSERT_NE(layout.m_lKey, -1);
        change(layout);
        rs.Edit();
        const auto bytes = layout.Serialize();
        rs.m_LAYDATA.m_data.assign(bytes.begin(), bytes.end());
        rs.SetFieldDirty(&rs.m_LAYDATA);
        ASSERT_TRUE(rs.Update(0));
    }
};

TEST_P(Layouts, ShippedLayoutsHoldTheFullFirstPage) {
    EXPECT_TRUE(m_db.GetBDefault15LayoutSaved());
    EXPECT_EQ(m_db.GetLErrorCode(), 0);

    m_db.SetBDefault15LayoutSaved(FALSE);
    ASSERT_EQ(m_ui->Count("MessageBox"), 1u);
    EXPECT_EQ(m_ui->Events()[0].text, "Attenzione! Impossibile cambiare il valore della  propriet\u00e0 solo lettura");
    EXPECT_TRUE(m_db.GetBDefault15LayoutSaved()) << "the read-only property keeps its value";

    m_db.Close();
    EXPECT_FALSE(m_db.GetBDefault15LayoutSaved());
    EXPECT_EQ(m_db.GetLErrorCode(), 50);
}

TEST_P(Layouts, AFirstPageLackingOneButtonIsNotTheFullLayout) {
    RewriteLayout(1, [](CLayoutData& layout) { ASSERT_EQ(layout.m_mapButtons.erase(300), 1u); });
    EXPECT_FALSE(m_db.GetBDefault15LayoutSaved());
    EXPECT_EQ(m_db.GetLErrorCode(), 0);

    CLayoutData* page1 = nullptr;
    ASSERT_TRUE(m_db.GetLayoutData(1, TRUE, &page1));
    EXPECT_EQ(page1->m_mapButtons.size(), 50u);
    EXPECT_TRUE(page1->m_bLoaded) << "the set's own layout";
}

TEST_P(Layouts, NoFirstPageMeansNoFullLayout) {
    RewriteLayout(1, [](CLayoutData& layout) { layout.m_nPageID = 6; });
    Exec("UPDATE LAY200 SET LAYPAGEID=6 WHERE LAYPAGEID=1");
    EXPECT_FALSE(m_db.GetBDefault15LayoutSaved());
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
}

TEST_P(Layouts, ByPageAndByKey) {
    CLayoutData* layout = nullptr;
    ASSERT_TRUE(m_db.GetLayoutData(3, TRUE, &layout));
    EXPECT_EQ(layout->m_nPageID, 3);
    EXPECT_TRUE(layout->m_bLoaded);
    const LONG key = layout->m_lKey;

    CLayoutData* same = nullptr;
    ASSERT_TRUE(m_db.GetLayoutData(key, FALSE, &same));
    EXPECT_EQ(same, layout);

    // A page without a layout: an empty layout of the caller's own, no error.
    CLayoutData* missing = nullptr;
    ASSERT_TRUE(m_db.GetLayoutData(42, TRUE, &missing));
    std::unique_ptr<CLayoutData> owned(missing);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
    EXPECT_EQ(missing->m_lKey, -1);
    EXPECT_FALSE(missing->m_bLoaded);
    EXPECT_TRUE(missing->m_mapButtons.empty());

    // An unknown key: 8010, and still an empty layout to delete.
    CLayoutData* unknown = nullptr;
    EXPECT_FALSE(m_db.GetLayoutData(4711, FALSE, &unknown));
    std::unique_ptr<CLayoutData> owned2(unknown);
    EXPECT_EQ(m_db.GetLErrorCode(), 8010);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->m_lKey, -1);

    EXPECT_FALSE(m_db.GetLayoutData(1, FALSE, nullptr));
    EXPECT_EQ(m_db.GetLErrorCode(), 20);
}

TEST_P(Layouts, UndecodableRowIsLeftOut) {
    {
        CLayoutRecordset rs(&m_db);
        ASSERT_TRUE(rs.Open("LAYKEY=0", nullptr, nullptr, 1));
        rs.AddNew();
        CQELRecordset::GetID(&rs.m_LAYID);
        rs.m_LAYKEY = 77;
        rs.m_LAYPAGEID = 9;
        rs.m_LAYDATA.m_data = {0xde, 0xad, 0xbe, 0xef};
        rs.SetFieldDirty(&rs.m_LAYDATA);
        ASSERT_TRUE(rs.Update(0));
    }
    CLayoutData* layout = nullptr;
    EXPECT_FALSE(m_db.GetLayoutData(77, FALSE, &layout));
    std::unique_ptr<CLayoutData> owned(layout);
    EXPECT_EQ(m_db.GetLErrorCode(), 8010);

    CLayoutData* page9 = nullptr;
    ASSERT_TRUE(m_db.GetLayoutData(9, TRUE, &page9));
    std::unique_ptr<CLayoutData> owned9(page9);
    EXPECT_EQ(page9->m_lKey, -1) << "the damaged page is not found";
    EXPECT_TRUE(m_db.GetBDefault15LayoutSaved()) << "the other layouts still load";
}

TEST(LayoutsClosed, ClosedDatabaseCannotLoadLayouts) {
    CDatabaseObj db;
    CLayoutData* layout = nullptr;
    EXPECT_FALSE(db.GetLayoutData(1, TRUE, &layout));
    EXPECT_EQ(db.GetLErrorCode(), 10);
    EXPECT_EQ(layout, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Engines, Layouts, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace
