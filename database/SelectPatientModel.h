// What the patient search hands to the patient selection dialog.
//
// The search fills a model and asks the user interface hooks to run the
// dialog named kSelectPatientDialog with it:
//
//   qel::ui::SelectPatientModel model{this};
//   int result = UserInterface().RunModal({qel::ui::kSelectPatientDialog, &model});
//
// The dialog lists the database object's found patients (GetFoundPatients,
// rows in that order) and, when the user opens one, stores its key in
// lPatientKey and ends with IDOK. Any other result means cancelled.
#pragma once

#include <qel/platform/WinTypes.h>

class CDatabaseObj;

namespace qel::ui {

inline constexpr const char* kSelectPatientDialog = "SelectPatient";

struct SelectPatientModel {
    CDatabaseObj* pDatabase = nullptr;  // not owned
    LONG lPatientKey = 0;               // the chosen patient, set on IDOK
};

}  // namespace qel::ui
