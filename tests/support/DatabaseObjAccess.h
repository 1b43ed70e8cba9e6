// DatabaseObjTestAccess gives a database object an open connection without
// the open path, for tests and benchmarks of the layers the open builds on,
// and lets them look at state the public members do not show.
#pragma once

#include <memory>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/schema/DatabaseSchema.h>

struct DatabaseObjTestAccess {
    static void Attach(CDatabaseObj& db, std::unique_ptr<CDatabase> connection, LONG engine) {
        db.m_pDatabase = std::move(connection);
        db.lEngine = engine;
        db.bIsOpen = TRUE;
    }
    static void Detach(CDatabaseObj& db) {
        db.DeleteObjectSets();
        db.bIsOpen = FALSE;
        if (db.m_pDatabase) db.m_pDatabase->Close();
    }
    static CDatabaseSchema& Schema(CDatabaseObj& db) { return *db.m_pSchema; }
    // A loaded or temporary profile always carries the file engine; the
    // client/server tests switch it after AddNew or Get.
    static void SetEngine(CDatabaseObj& db, LONG engine) { db.lEngine = engine; }
    static void DeleteObjectSets(CDatabaseObj& db) { db.DeleteObjectSets(); }
    static bool HasCallbackWindow(const CDatabaseObj& db) { return db.m_pCallbackWnd != nullptr; }

    // What the callback window's tests look at: the patient cache and the
    // close-request flag.
    static std::unique_ptr<CPatientSet>& PatientSet(CDatabaseObj& db) { return db.m_pPatientSet; }
    static BOOL QuietClose(const CDatabaseObj& db) { return db.m_bQuietClose; }
};
