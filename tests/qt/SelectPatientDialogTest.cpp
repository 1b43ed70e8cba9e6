// The Qt patient selection dialog, offscreen: layout, on-demand cells,
// opening by button and double-click, cancelling, width persistence, and the
// search reaching it through the user interface hooks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

#include <qel/outside/records/CachedData.h>
#include <qel/platform/AppProfile.h>
#include <qel/ui/qt/QtUserInterface.h>
#include <qel/ui/qt/SelectPatientDialog.h>

#include "database/PatientDatabase.h"

namespace {

using qel::platform::AppProfile;

// One application per test, gone before the process's own teardown.
std::unique_ptr<QApplication> MakeApp() {
    static int argc = 1;
    static char name[] = "test_qt";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

class SelectPatientDialog : public qel::test::PatientDatabase {
protected:
    void SetUp() override {
        m_app = MakeApp();
        PatientDatabase::SetUp();
        qel::platform::SetThreadLocale(qel::platform::LOCALE_ITALIAN);
        AddPatient(1, "ROSSI MARIO", "A1", 0);
        AddPatient(2, "ROSSI ANNA", "A2", 3);
        AddPatient(3, "VERDI", "B1", 1);
        LONG count = 0;
        ASSERT_TRUE(m_db.SearchPatient("ROSSI", 1, "", 0, FALSE, FALSE, &count));
        ASSERT_EQ(count, 2);
    }

    void AddPatient(LONG key, const char* name, const char* number, SHORT images) {
        auto patient = std::make_unique<CPatientData>();
        patient->m_lKey = key;
        patient->m_strName = name;
        patient->m_strNumber = number;
        patient->m_dateCreated = CExtOleDateTime(2024, 3, 15);
        patient->m_nImageCount = images;
        if (images > 0) patient->m_dateNewestImage = CExtOleDateTime(2025, 1, 2);
        ASSERT_TRUE(m_db.AddPatientData(patient.get()));
        patient.release();  // the set owns it now
    }

    void TearDown() override {
        PatientDatabase::TearDown();
        m_app.reset();
    }

    static QString Cell(CSelectPatientDlg& dlg, int row, int column) {
        return dlg.List()->model()->index(row, column).data().toString();
    }
    static std::vector<int> Widths(CSelectPatientDlg& dlg) {
        std::vector<int> widths;
        for (int c = 0; c < CSelectPatientDlg::kColumnCount; ++c) widths.push_back(dlg.List()->columnWidth(c));
        return widths;
    }

    std::unique_ptr<QApplication> m_app;
};

TEST_F(SelectPatientDialog, ShowsTheFoundPatientsAndOpensTheFirstAtOnce) {
    CSelectPatientDlg dlg(&m_db);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Seleziona Paziente");
    EXPECT_EQ(dlg.OpenButton()->text(), "&Apri");
    EXPECT_TRUE(dlg.OpenButton()->isDefault());
    EXPECT_EQ(dlg.CancelButton()->text(), "Annulla");
    EXPECT_GT(dlg.width(), dlg.List()->width());
    EXPECT_EQ(Widths(dlg), (std::vector<int>{120, 80, 80, 60, 80}));
    const QStringList titles{"Nome", "ID", "Cartella Creata", "Immagini", "Ultima Immagine"};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(dlg.List()->model()->headerData(c, Qt::Horizontal), titles[c]);

    ASSERT_EQ(dlg.List()->model()->rowCount(), 2);
    // Name order: ROSSI ANNA (2) before ROSSI MARIO (1).
    EXPECT_EQ(Cell(dlg, 0, 0), "ROSSI ANNA");
    EXPECT_EQ(Cell(dlg, 0, 1), "A2");
    EXPECT_EQ(Cell(dlg, 0, 2), "15/03/2024");
    EXPECT_EQ(Cell(dlg, 0, 3), "3");
    EXPECT_EQ(Cell(dlg, 0, 4), "02/01/2025");
    EXPECT_EQ(Cell(dlg, 1, 3), "0");
    EXPECT_EQ(Cell(dlg, 1, 4), "-") << "no images, no newest date";

    if (const char* dir = std::getenv("QEL_SCREENSHOT_DIR"))
        dlg.grab().save(QString::fromUtf8(dir) + "/select-patient-dialog.png");

    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_lPatientKey, 2);
}

TEST_F(SelectPatientDialog, DoubleClickOpensAndNoSelectionDoesNothing) {
    CSelectPatientDlg dlg(&m_db);
    dlg.show();
    dlg.List()->clearSelection();
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible()) << "nothing selected: the dialog stays";
    EXPECT_EQ(dlg.m_lPatientKey, 0);

    const QRect row1 = dlg.List()->visualRect(dlg.List()->model()->index(1, 0));
    QTest::mouseClick(dlg.List()->viewport(), Qt::LeftButton, {}, row1.center());
    QTest::mouseDClick(dlg.List()->viewport(), Qt::LeftButton, {}, row1.center());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_lPatientKey, 1);
}

TEST_F(SelectPatientDialog, WidthsAreSavedOnOpenOnly) {
    {
        CSelectPatientDlg dlg(&m_db);
        dlg.show();
        dlg.List()->setColumnWidth(0, 200);
        QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    }
    EXPECT_EQ(AppProfile::Current().GetProfileInt("SelectPatient", "NameWidth", -1), 200);
    {
        CSelectPatientDlg dlg(&m_db);
        dlg.show();
        EXPECT_EQ(Widths(dlg), (std::vector<int>{200, 80, 80, 60, 80}));
        dlg.List()->setColumnWidth(0, 250);
        QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    CSelectPatientDlg again(&m_db);
    EXPECT_EQ(again.List()->columnWidth(0), 200) << "a cancelled change is not kept";
}

TEST_F(SelectPatientDialog, TheSearchShowsItThroughTheHooks) {
    auto previous = qel::platform::CurrentUserInterface();
    ASSERT_TRUE(InstallQtUserInterface());
    bool cancel = true;
    auto answer = [&] {
        auto* dlg = dynamic_cast<CSelectPatientDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        if (cancel) QTest::keyClick(dlg, Qt::Key_Escape);
        else QTest::keyClick(dlg->List(), Qt::Key_Return);
    };
    LONG count = 0;
    QTimer::singleShot(0, answer);
    EXPECT_FALSE(m_db.SearchPatient("ROSSI", 1, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(m_db.GetLErrorCode(), 40);

    cancel = false;
    QTimer::singleShot(0, answer);
    ASSERT_TRUE(m_db.SearchPatient("ROSSI", 1, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(m_db.GetFoundPatients(), std::vector<LONG>{2}) << "Return opens the first row";
    qel::platform::SetUserInterface(previous);
}

}  // namespace
