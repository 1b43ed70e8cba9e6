// The patient selection dialog, in Qt 6 Widgets: lists the patients a search
// found (the database object's found list, in its order) in five columns and
// lets the user open one or cancel. Column widths are kept in the "SelectPatient"
// section of the application profile, saved when a patient is opened.
//
//   CSelectPatientDlg dlg(&db);
//   if (dlg.DoModal() == IDOK) use(dlg.m_lPatientKey);
//
// Part of the separate Qt module (libqeldb_qt); the component itself reaches
// it only through the user interface hooks (see QtUserInterface.h).
#pragma once

#include <QDialog>

#include <qel/platform/WinTypes.h>

class CDatabaseObj;
class QPushButton;
class QTableView;

class CSelectPatientDlg : public QDialog {
public:
    static constexpr int kColumnCount = 5;
    static constexpr const char* kSection = "SelectPatient";
    static constexpr const char* kWidthKeys[kColumnCount] = {"NameWidth", "NumberWidth", "CreatedWidth",
                                                              "ImgCntWidth", "NewestImgWidth"};
    static constexpr int kDefaultWidths[kColumnCount] = {120, 80, 80, 60, 80};

    explicit CSelectPatientDlg(CDatabaseObj* pDatabase, QWidget* pParent = nullptr);

    // IDOK when a patient was opened (m_lPatientKey set), IDCANCEL otherwise.
    int DoModal();

    QTableView* List() const { return m_pList; }
    QPushButton* OpenButton() const { return m_pOpen; }
    QPushButton* CancelButton() const { return m_pCancel; }

    LONG m_lPatientKey = 0;

private:
    void BuildList();
    void OnOpen();

    CDatabaseObj* m_pDatabase;
    QTableView* m_pList = nullptr;
    QPushButton* m_pOpen = nullptr;
    QPushButton* m_pCancel = nullptr;
};
