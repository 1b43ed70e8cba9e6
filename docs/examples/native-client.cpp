// A native client of the component, built only from the installed package
// (see docs/native-api.md). It opens a new database on a temporary profile,
// writes a patient through the record library, finds it through the caches,
// follows it with a live item, asks the callback window for a key, reads
// the disk space settings and closes.
//
//     native-client /path/to/new.db
#include <cstdio>
#include <string>

#include <qel/qeldb.h>

namespace {

// A live item: the database object tells it when its record goes away.
class PatientView final : public CQELDatabaseItem {
public:
    void Invalidate() override { invalidated = true; }
    void Orphanize(LONG, LONG) override {}
    bool invalidated = false;
};

int Fail(CDatabaseObj& db, const char* what) {
    // What a client shows a person: the code, its meaning, the logged cause.
    std::printf("native-client: %s failed with %ld: %s (%s)\n", what, static_cast<long>(db.lErrorCode),
                qel::database::ErrorText(db.lErrorCode), qel::outside::LastFailureCause().c_str());
    return 1;
}

// Writes one patient row without a doctor; answers its key, 0 on failure.
LONG WritePatient(CDatabaseObj& db, const char* name, const char* number) {
    LONG key = 0;
    if (!db.GetNewKey(eTablePAT, &key)) return 0;
    CPatientRecordset rs(&db);
    if (!rs.Open(nullptr, nullptr, nullptr, 1)) return 0;
    rs.AddNew();
    CQELRecordset::GetID(&rs.m_PATID);
    rs.m_PATKEY = key;
    rs.m_PATDOCKEY = 0;  // every database has the doctor row 0, "no doctor"
    rs.SetFieldDirty(&rs.m_PATDOCKEY);
    rs.m_PATNAME = name;
    rs.m_PATNUMBER = number;
    const BOOL written = rs.Update();
    rs.Close();
    return written ? key : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: native-client DATABASE-FILE\n");
        return 2;
    }
    CDatabaseObj db;
    // A temporary profile: nothing of it stays in the registry after Close.
    if (!db.AddNew(TRUE, FALSE)) return Fail(db, "AddNew");
    db.SetStrDataSource("QelNativeClient");
    db.SetStrDirectory(argv[1]);
    if (!db.Open2(FALSE)) return Fail(db, "Open2");

    const LONG key = WritePatient(db, "ROSSI MARIO", "0042");
    if (key == 0) return Fail(db, "writing a patient");

    LONG found = 0, first = 0;
    if (!db.SearchPatient("rossi", 1, "", 0, FALSE, FALSE, &found) || found != 1 || !db.GetFoundPatient(0, &first))
        return Fail(db, "SearchPatient");
    CPatientData* patient = nullptr;
    if (!db.GetPatientData(first, &patient)) return Fail(db, "GetPatientData");
    std::printf("native-client: found %s, number %s\n", std::string(patient->GetName()).c_str(),
                std::string(patient->GetNumber()).c_str());

    PatientView view;
    view.m_pData = patient;
    db.RegisterItem(&view);

    // Other code of the process reaches the object through its window.
    LONG fromWindow = -1;
    qel::platform::SendMessage(db.GetCallbackWindow(), CDatabaseCallbackWnd::WM_GET_NEW_KEY, eTablePAT,
                               reinterpret_cast<LPARAM>(&fromWindow));

    CDiskSpaceControllerData space;
    if (!db.GetDiskSpaceControllerData(&space)) return Fail(db, "GetDiskSpaceControllerData");

    db.Close();
    std::printf("native-client: next patient key %ld, disk space warning at %ld, item %s\n",
                static_cast<long>(fromWindow), static_cast<long>(space.m_lWarningThreshold),
                view.invalidated ? "invalidated by the close" : "still valid");
    return first == key && fromWindow > key && view.invalidated ? 0 : 3;
}
