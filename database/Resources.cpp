#include <qel/database/Resources.h>

#include <iterator>

namespace qel::ui {

namespace {

struct StringResource {
    UINT id;
    const char* text;
};

constexpr StringResource kStrings[] = {
    {IDS_READ_ONLY_PROPERTY, "Attenzione! Impossibile cambiare il valore della  propriet\u00e0 solo lettura"},
    {IDS_COLUMN_NAME, "Nome"},
    {IDS_COLUMN_NUMBER, "ID"},
    {IDS_COLUMN_CREATED, "Cartella Creata"},
    {IDS_COLUMN_IMAGE_COUNT, "Immagini"},
    {IDS_COLUMN_NEWEST_IMAGE, "Ultima Immagine"},
    {IDS_CONNECTING, "Collegamento con la database di '%s'"},
};

constexpr ControlTemplate kNoticeControls[] = {
    {IDC_NOTICE_TEXT, "", {0, 12, 240, 9}},
};

constexpr ControlTemplate kSelectPatientControls[] = {
    {IDC_PATIENT_LIST, "List1", {8, 8, 222, 122}},
    {IDC_OPEN_PATIENT, "&Apri", {67, 138, 50, 14}},
    {IDCANCEL, "Annulla", {121, 138, 50, 14}},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_CONNECTING_NOTICE, "", {0, 0, 240, 33}, 8, kNoticeControls, static_cast<int>(std::size(kNoticeControls))},
    {IDD_SELECT_PATIENT, "Seleziona Paziente", {0, 0, 238, 160}, 8, kSelectPatientControls,
     static_cast<int>(std::size(kSelectPatientControls))},
};

}  // namespace

std::string LoadString(UINT id) {
    for (const auto& s : kStrings)
        if (s.id == id) return s.text;
    return {};
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    for (const auto& d : kDialogs)
        if (d.id == id) return &d;
    return nullptr;
}

}  // namespace qel::ui
