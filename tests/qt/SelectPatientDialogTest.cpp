// The Qt patient selection dialog, offscreen: layout, on-demand cells,
// opening by button, key and double-click, cancelling, width persistence.
#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include <qel/outside/records/CachedData.h>
#include <qel/platform/AppProfile.h>
#include <qel/ui/qt/QtUserInterface.h>
#include <qel/ui/qt/SelectPatientDialog.h>

#include "support/EngineDatabase.h"

namespace {

class SelectPatientDialog : public qel::test::OpenedDatabase {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_qt";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(argc, argv);  // gone before the process's own teardown
        OpenedDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        qel::platform::SetThreadLocale(qel::platform::LOCALE_ITALIAN);
        for (LONG key : {1, 2, 3}) {
            auto patient = std::make_unique<CPatientData>();
            patient->m_lKey = key;
            patient->SetName(key == 3 ? "VERDI" : key == 1 ? "ROSSI MARIO" : "ROSSI ANNA");
            patient->SetNumber("A" + std::to_string(key));
            patient->SetDateCreated(CExtOleDateTime(2024, 3, 15));
            patient->m_nImageCount = static_cast<SHORT>(key == 2 ? 3 : 0);
            patient->SetDateNewestImage(CExtOleDateTime(2025, 1, 2));
            ASSERT_TRUE(m_db.AddPatientData(patient.get()));
            patient.release();  // the set owns it now
        }
        LONG count = 0;
        ASSERT_TRUE(m_db.SearchPatient("ROSSI", 1, "", 0, FALSE, FALSE, &count) && count == 2);
    }
    void TearDown() override {
        OpenedDatabase::TearDown();
        m_app.reset();
    }

    static QString Cell(CSelectPatientDlg& dlg, int row, int column) {
        return dlg.List()->model()->index(row, column).data().toString();
    }

    std::unique_ptr<QApplication> m_app;
};

TEST_P(SelectPatientDialog, ShowsTheFoundPatientsAndOpensTheFirstAtOnce) {
    CSelectPatientDlg dlg(&m_db);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Seleziona Paziente");
    EXPECT_TRUE(dlg.OpenButton()->isDefault() && dlg.OpenButton()->text() == "&Apri");
    EXPECT_EQ(dlg.CancelButton()->text(), "Annulla");
    const QStringList titles{"Nome", "ID", "Cartella Creata", "Immagini", "Ultima Immagine"};
    const int widths[] = {120, 80, 80, 60, 80};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(dlg.List()->model()->headerData(c, Qt::Horizontal), titles[c]);
        EXPECT_EQ(dlg.List()->columnWidth(c), widths[c]);
    }
    ASSERT_EQ(dlg.List()->model()->rowCount(), 2);
    const QStringList first{"ROSSI ANNA", "A2", "15/03/2024", "3", "02/01/2025"};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(Cell(dlg, 0, c), first[c]);
    EXPECT_EQ(Cell(dlg, 1, 3) + Cell(dlg, 1, 4), "0-") << "no images, no newest date";

    if (const char* dir = std::getenv("QEL_SCREENSHOT_DIR"))
        dlg.grab().save(QString::fromUtf8(dir) + "/select-patient-dialog.png");
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_lPatientKey, 2);
}

TEST_P(SelectPatientDialog, DoubleClickOpensAndNoSelectionDoesNothing) {
    CSelectPatientDlg dlg(&m_db);
    dlg.show();
    dlg.List()->clearSelection();
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible() && dlg.m_lPatientKey == 0) << "nothing selected: the dialog stays";
    const QPoint row1 = dlg.List()->visualRect(dlg.List()->model()->index(1, 0)).center();
    QTest::mouseClick(dlg.List()->viewport(), Qt::LeftButton, {}, row1);
    QTest::mouseDClick(dlg.List()->viewport(), Qt::LeftButton, {}, row1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_lPatientKey, 1);
}

TEST_P(SelectPatientDialog, WidthsAreSavedOnOpenOnly) {
    for (bool open : {true, false}) {
        CSelectPatientDlg dlg(&m_db);
        dlg.show();
        EXPECT_EQ(dlg.List()->columnWidth(0), open ? 120 : 200);
        dlg.List()->setColumnWidth(0, open ? 200 : 250);
        QTest::mouseClick(open ? dlg.OpenButton() : dlg.CancelButton(), Qt::LeftButton);
    }
    EXPECT_EQ(qel::platform::AppProfile::Current().GetProfileInt("SelectPatient", "NameWidth", -1), 200);
}

TEST_P(SelectPatientDialog, TheSearchShowsItThroughTheHooks) {
    auto previous = qel::platform::CurrentUserInterface();
    ASSERT_TRUE(InstallQtUserInterface());
    int key = Qt::Key_Escape;
    auto answer = [&] { QTest::keyClick(QApplication::activeModalWidget(), static_cast<Qt::Key>(key)); };
    LONG count = 0;
    QTimer::singleShot(0, answer);
    EXPECT_FALSE(m_db.SearchPatient("ROSSI", 1, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(m_db.GetLErrorCode(), 40);
    key = Qt::Key_Return;
    QTimer::singleShot(0, answer);
    ASSERT_TRUE(m_db.SearchPatient("ROSSI", 1, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(m_db.GetFoundPatients(), std::vector<LONG>{2}) << "Return opens the first row";
    qel::platform::SetUserInterface(previous);
}

INSTANTIATE_TEST_SUITE_P(Engines, SelectPatientDialog, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace
