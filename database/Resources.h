// The component's resources: the (Italian) string table and the dialog
// templates, with their resource numbers. LoadString answers the text of a
// string resource; the dialogs take their captions, control texts and sizes
// (in dialog units) from the templates.
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::ui {

// String resources.
constexpr UINT IDS_READ_ONLY_PROPERTY = 101;
constexpr UINT IDS_COLUMN_NAME = 112;
constexpr UINT IDS_COLUMN_NUMBER = 113;
constexpr UINT IDS_COLUMN_CREATED = 114;
constexpr UINT IDS_COLUMN_IMAGE_COUNT = 115;
constexpr UINT IDS_COLUMN_NEWEST_IMAGE = 116;
constexpr UINT IDS_CONNECTING = 128;

// The text of a string resource; empty for an unknown number.
QEL_API std::string LoadString(UINT id);

// Dialog templates.
constexpr UINT IDD_CONNECTING_NOTICE = 131;
constexpr UINT IDD_SELECT_PATIENT = 205;

constexpr int IDC_NOTICE_TEXT = 1000;
constexpr int IDC_PATIENT_LIST = 228;
constexpr int IDC_OPEN_PATIENT = 230;

struct DialogRect {
    int x, y, cx, cy;  // dialog units
};

struct ControlTemplate {
    int id;
    const char* text;
    DialogRect rect;
};

struct DialogTemplate {
    UINT id;
    const char* caption;
    DialogRect rect;
    int fontPoints;
    const ControlTemplate* controls;
    int controlCount;
};

QEL_API const DialogTemplate* FindDialogTemplate(UINT id);

// Converts dialog units to pixels for a font whose average character is
// baseX by baseY pixels (the dialog base units).
constexpr int DialogUnitsToPixelsX(int units, int baseX) { return units * baseX / 4; }
constexpr int DialogUnitsToPixelsY(int units, int baseY) { return units * baseY / 8; }

}  // namespace qel::ui
