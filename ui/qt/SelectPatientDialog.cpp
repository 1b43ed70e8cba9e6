#include <qel/ui/qt/SelectPatientDialog.h>

#include <QAbstractTableModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include <vector>

#include <qel/database/DatabaseObj.h>
#include <qel/database/Resources.h>
#include <qel/outside/records/CachedData.h>
#include <qel/platform/AppProfile.h>

namespace {

using qel::platform::AppProfile;

// The found patients as rows; each cell is fetched from the database object
// when the view asks for it, so a long list costs nothing up front.
class FoundPatientsModel : public QAbstractTableModel {
public:
    FoundPatientsModel(CDatabaseObj* pDatabase, std::vector<LONG> keys, QObject* pParent)
        : QAbstractTableModel(pParent), m_pDatabase(pDatabase), m_keys(std::move(keys)) {}

    LONG KeyAt(int row) const { return m_keys.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_keys.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : CSelectPatientDlg::kColumnCount;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return QString::fromStdString(qel::ui::LoadString(qel::ui::IDS_COLUMN_NAME + static_cast<UINT>(section)));
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole) return {};
        CPatientData* pPatient = nullptr;
        // A patient that cannot be fetched shows empty cells.
        if (!m_pDatabase->GetPatientData(KeyAt(index.row()), &pPatient) || pPatient == nullptr) return {};
        switch (index.column()) {
            case 0: return QString::fromUtf8(pPatient->GetName());
            case 1: return QString::fromUtf8(pPatient->GetNumber());
            case 2: return QString::fromStdString(pPatient->GetDateCreated().FormatDate());
            case 3: return QString::number(pPatient->m_nImageCount);
            case 4:
                return pPatient->m_nImageCount == 0 ? QStringLiteral("-")
                                                    : QString::fromStdString(pPatient->GetDateNewestImage().FormatDate());
            default: return {};
        }
    }

private:
    CDatabaseObj* m_pDatabase;
    std::vector<LONG> m_keys;
};

// Dialog base units of a font: the average width of the Latin letters and the
// line height, as dialog templates are laid out.
QSize BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(metrics.horizontalAdvance(letters) / 26 + 1) / 2, metrics.height()};
}

QRect ToPixels(const qel::ui::DialogRect& rect, QSize base) {
    using qel::ui::DialogUnitsToPixelsX;
    using qel::ui::DialogUnitsToPixelsY;
    return {DialogUnitsToPixelsX(rect.x, base.width()), DialogUnitsToPixelsY(rect.y, base.height()),
            DialogUnitsToPixelsX(rect.cx, base.width()), DialogUnitsToPixelsY(rect.cy, base.height())};
}

}  // namespace

CSelectPatientDlg::CSelectPatientDlg(CDatabaseObj* pDatabase, QWidget* pParent)
    : QDialog(pParent), m_pDatabase(pDatabase) {
    const qel::ui::DialogTemplate* pTemplate = qel::ui::FindDialogTemplate(qel::ui::IDD_SELECT_PATIENT);
    QFont dialogFont = font();
    dialogFont.setPointSize(pTemplate->fontPoints);
    setFont(dialogFont);
    const QSize base = BaseUnits(dialogFont);
    setWindowTitle(QString::fromUtf8(pTemplate->caption));
    setFixedSize(ToPixels(pTemplate->rect, base).size());

    for (int i = 0; i < pTemplate->controlCount; ++i) {
        const qel::ui::ControlTemplate& control = pTemplate->controls[i];
        const QRect geometry = ToPixels(control.rect, base);
        if (control.id == qel::ui::IDC_PATIENT_LIST) {
            m_pList = new QTableView(this);
            m_pList->setGeometry(geometry);
        } else {
            auto* pButton = new QPushButton(QString::fromUtf8(control.text), this);
            pButton->setGeometry(geometry);
            (control.id == qel::ui::IDC_OPEN_PATIENT ? m_pOpen : m_pCancel) = pButton;
        }
    }
    m_pOpen->setDefault(true);
    m_pOpen->setAutoDefault(true);
    m_pCancel->setAutoDefault(false);
    connect(m_pOpen, &QPushButton::clicked, this, [this] { OnOpen(); });
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pList, &QTableView::doubleClicked, this, [this] { OnOpen(); });
    BuildList();
}

void CSelectPatientDlg::BuildList() {
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setSortingEnabled(false);
    m_pList->setShowGrid(false);
    m_pList->verticalHeader()->hide();
    m_pList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->horizontalHeader()->setStretchLastSection(false);
    m_pList->setModel(new FoundPatientsModel(m_pDatabase, m_pDatabase->GetFoundPatients(), m_pList));

    const AppProfile& profile = AppProfile::Current();
    for (int column = 0; column < kColumnCount; ++column) {
        const LONG width = profile.GetProfileInt(kSection, kWidthKeys[column], -1);
        m_pList->setColumnWidth(column, width == -1 ? kDefaultWidths[column] : width);
    }
    if (m_pList->model()->rowCount() > 0) {
        m_pList->selectRow(0);
        m_pList->setCurrentIndex(m_pList->model()->index(0, 0));
    }
    m_pList->setFocus();
}

void CSelectPatientDlg::OnOpen() {
    const QModelIndexList rows = m_pList->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    m_lPatientKey = static_cast<const FoundPatientsModel*>(m_pList->model())->KeyAt(rows.first().row());
    AppProfile& profile = AppProfile::Current();
    for (int column = 0; column < kColumnCount; ++column)
        profile.WriteProfileInt(kSection, kWidthKeys[column], m_pList->columnWidth(column));
    accept();
}

int CSelectPatientDlg::DoModal() { return exec() == QDialog::Accepted ? IDOK : IDCANCEL; }
