// Opening and closing a database: one opener per profile (the named mutex),
// the connecting notice, the application server, the callback window, the
// data source, the connection with one retry, the schema check, the
// parameter restore and the client's notifications. Whatever a failed open
// acquired is released again before it returns; for a temporary profile that
// includes the data source, database file and folders its preparation
// created, so a failed attempt leaves nothing in the user's files.
#include <qel/database/DatabaseObj.h>

#include <cstdio>

#include <fmt/format.h>

#include <qel/database/CallbackWindow.h>
#include <qel/database/OpenFaults.h>
#include <qel/database/Resources.h>
#include <qel/datasource/DataSourceSetup.h>
#include <qel/outside/Log.h>
#include <qel/outside/MessageDialog.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/records/DatabaseItem.h>
#include <qel/platform/NamedMutex.h>
#include <qel/schema/DatabaseSchema.h>

namespace {

constexpr double kNoticeNumber = 2.0;
constexpr LONG kNotifyOpened = 100;
constexpr LONG kNotifyClosing = 101;

std::string NoticeText(const std::string& name) {
    const std::string format = qel::ui::LoadString(qel::ui::IDS_CONNECTING);
    const auto at = format.find("%s");
    return at == std::string::npos ? format : format.substr(0, at) + name + format.substr(at + 2);
}

using qel::database::OpenFault;
using qel::database::OpenFaultHit;

}  // namespace

BOOL CDatabaseObj::Open() { return Open2(TRUE); }

BOOL CDatabaseObj::Open2(BOOL bShow) {
    ClearError();
    if (!CheckParams(FALSE)) {
        PassOnError();
        return SetError(50);
    }
    if (bIsOpen) return SetError(50);
    if (!TakeProfileMutex()) return FALSE;

    CMessageDialog notice(NoticeText(strName).c_str(), kNoticeNumber);
    if (bShow) notice.Create();

    m_bQuietClose = FALSE;
    m_pCallbackWnd.reset();
    ReleaseServer();

    PreparedDataSource prepared;
    if (!RunOpenSteps(&prepared)) {
        OpenFailureCleanup(bShow, notice, prepared);
        return FALSE;
    }
    if (bShow) notice.Destroy();
    if (OpenFaultHit(OpenFault::Notification)) return SetError(30);
    return SendMessage(kNotifyOpened, 0, lKey, 0);
}

BOOL CDatabaseObj::TakeProfileMutex() {
    m_hMutex.reset();
    auto mutex = qel::platform::NamedMutex::Create(fmt::format("QEL_DB_MUTEX_{}", lKey));
    if (mutex.failed) return SetError(7014);
    if (mutex.alreadyExists) return SetError(7015);
    m_hMutex = std::move(mutex.handle);
    return TRUE;
}

// Each step either succeeds or leaves its code; the caller undoes whatever
// the steps before it acquired. A fault point fails its step before it runs.
BOOL CDatabaseObj::RunOpenSteps(PreparedDataSource* prepared) try {
    auto step = [this](OpenFault fault, LONG code, auto&& run) -> BOOL {
        return !OpenFaultHit(fault) && run() ? TRUE : SetError(code);
    };
    if (!step(OpenFault::ServerCreation, 7150, [this] { return CreateServer(); })) return FALSE;
    if (!step(OpenFault::WindowCreation, 10, [this] { return CreateCallbackWindow(); })) return FALSE;
    if (!step(OpenFault::DataSourcePreparation, 7020,
              [this, prepared] { return m_pDataSourceSetup->PrepareDataSource(prepared); }))
        return FALSE;
    if (!Connect()) return FALSE;

    bIsOpen = TRUE;
    m_lSelectAdded = 0;
    m_lSelectCount = 0;

    if (!step(OpenFault::SchemaCheck, 7060, [this] { return m_pSchema->CheckAndUpgradeDatabase(); })) return FALSE;
    // The restore keeps its own code on failure, so its fault point stands alone.
    if (OpenFaultHit(OpenFault::SettingsRestore)) return SetError(10);
    return RestoreDBParams() ? TRUE : PassOnError();
} catch (...) {
    // Any other exception ends the open with the code set so far.
    return FALSE;
}

BOOL CDatabaseObj::CreateServer() {
    IQELServer* server = nullptr;
    if (FAILED(CreateQELServer(&server)) || server == nullptr) return FALSE;
    m_pServer = server;
    return TRUE;
}

BOOL CDatabaseObj::CreateCallbackWindow() {
    m_pCallbackWnd = MakeCallbackWindow(this);
    return m_pCallbackWnd && m_pCallbackWnd->Create();
}

// Connects to the profile's data source. A first failure that throws
// registers the data source again and tries once more.
BOOL CDatabaseObj::Connect() {
    const std::string connect = fmt::format("ODBC;DSN={}", strDataSource);
    m_pDatabase = std::make_unique<CDatabase>();
    for (int attempt = 0;; ++attempt) {
        try {
            if (OpenFaultHit(OpenFault::ConnectThrows))
                throw CDBException("08001", "injected connection failure", "CDatabase::Open");
            const BOOL opened = !OpenFaultHit(OpenFault::ConnectReturnsFalse) &&
                                m_pDatabase->Open(nullptr, FALSE, FALSE, connect.c_str(), TRUE);
            return opened ? TRUE : SetError(40);
        } catch (CDBException& e) {
            if (attempt == 0) {
                if (!OpenFaultHit(OpenFault::ReRegistration) && m_pDataSourceSetup->RegisterDataSourceAgain())
                    continue;
                SetError(7030);
            }
            if (lErrorCode == 0) {
                SetError(7050);
                SetErrorString(&e);
            }
            e.Delete();
            return FALSE;
        }
    }
}

void CDatabaseObj::OpenFailureCleanup(BOOL bShow, CMessageDialog& notice, const PreparedDataSource& prepared) {
    const qel::outside::FailureCauseKeeper cause;
    bIsOpen = FALSE;
    m_pCallbackWnd.reset();
    ReleaseServer();
    m_pDatabase.reset();
    if (bShow) notice.Destroy();
    // After the connection is gone (SQLite removes its side files on the
    // last close), and while the mutex still keeps other openers of this
    // profile number out. A stored profile keeps what its open prepared.
    if (bIsNew) m_pDataSourceSetup->UndoPreparation(prepared);
    m_hMutex.reset();
    DeleteObjectSets();
}

BOOL CDatabaseObj::Close() {
    ClearError();
    if (!bIsOpen) return FALSE;
    if (!m_bQuietClose) SendMessage(kNotifyClosing, 0, lKey, 0);
    CloseCleanup();
    return TRUE;
}

void CDatabaseObj::CloseCleanup() {
    for (CQELDatabaseItem* item : m_listItems) item->Invalidate();
    DeleteObjectSets();
    if (m_pDatabase) m_pDatabase->Close();
    m_pCallbackWnd.reset();
    ReleaseServer();
    if (bIsNew) m_pDataSourceSetup->RemoveDataSource();
    m_hMutex.reset();
    bIsOpen = FALSE;
}

void CDatabaseObj::ReleaseServer() {
    if (m_pServer != nullptr) m_pServer->Release();
    m_pServer = nullptr;
}
