// DatabaseObjInternals reaches the database object's private state for the
// component's own tests and benchmarks: it gives an object an open connection
// without the open path, runs the settings record's steps one by one, and
// shows state the public members do not. Not installed: no client sees it.
#pragma once

#include <memory>
#include <string>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/DiskSpaceController.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/schema/DatabaseSchema.h>

struct DatabaseObjInternals {
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

    // The settings record.
    static BOOL Save(CDatabaseObj& db) { return db.SaveDBParams(); }
    static BOOL Restore(CDatabaseObj& db) { return db.RestoreDBParams(); }
    static void Defaults(CDatabaseObj& db) { db.SetDefaultDBParams(); }
    static BOOL CheckIdentity(CDatabaseObj& db, const std::string& id) { return db.CheckProfileIdentity(id); }
    static void SetID(CDatabaseObj& db, const std::string& id) { db.m_strID = id; }
    static CDiskSpaceControllerData& Disk(CDatabaseObj& db) { return db.m_DiskSpaceControllerData; }
    static void SetServer(CDatabaseObj& db, IQELServer* server) { db.m_pServer = server; }
};
