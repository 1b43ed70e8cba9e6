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

}  // namespace

BOOL CDatabaseObj::Open() { return Open2(TRUE); }

BOOL CDatabaseObj::Open2(BOOL bShow) {
    using qel::database::OpenFault;
    using qel::database::OpenFaultHit;

    ClearError();
    if (!CheckParams(FALSE)) {
        PassOnError();
        return SetError(50);
    }
    if (bIsOpen) return SetError(50);

    m_hMutex.reset();
    auto mutex = qel::platform::NamedMutex::Create(fmt::format("QEL_DB_MUTEX_{}", lKey));
    if (mutex.failed) return SetError(7014);
    if (mutex.alreadyExists) return SetError(7015);
    m_hMutex = std::move(mutex.handle);

    CMessageDialog notice(NoticeText(strName).c_str(), kNoticeNumber);
    if (bShow) notice.Create();

    m_bQuietClose = FALSE;
    m_pCallbackWnd.reset();
    ReleaseServer();

    PreparedDataSource prepared;
    auto fail = [&]() -> BOOL {
        OpenFailureCleanup(bShow, notice, prepared);
        return FALSE;
    };

    try {
        IQELServer* server = nullptr;
        if (OpenFaultHit(OpenFault::ServerCreation) || FAILED(CreateQELServer(&server)) || server == nullptr) {
            SetError(7150);
            return fail();
        }
        m_pServer = server;

        m_pCallbackWnd = MakeCallbackWindow(this);
        if (OpenFaultHit(OpenFault::WindowCreation) || !m_pCallbackWnd || !m_pCallbackWnd->Create()) {
            SetError(10);
            return fail();
        }

        if (OpenFaultHit(OpenFault::DataSourcePreparation) || !m_pDataSourceSetup->PrepareDataSource(&prepared)) {
            SetError(7020);
            return fail();
        }

        const std::string connect = fmt::format("ODBC;DSN={}", strDataSource);
        m_pDatabase = std::make_unique<CDatabase>();

        for (int attempt = 0, retry = 1; retry; ++attempt) {
            retry = 0;
            try {
                if (OpenFaultHit(OpenFault::ConnectThrows))
                    throw CDBException("08001", "injected connection failure", "CDatabase::Open");
                const BOOL opened = OpenFaultHit(OpenFault::ConnectReturnsFalse)
                                        ? FALSE
                                        : m_pDatabase->Open(nullptr, FALSE, FALSE, connect.c_str(), TRUE);
                if (!opened) SetError(40);
            } catch (CDBException& e) {
                if (attempt == 0) {
                    if (!OpenFaultHit(OpenFault::ReRegistration) && m_pDataSourceSetup->RegisterDataSourceAgain())
                        retry = 1;
                    else
                        SetError(7030);
                }
                if (!retry && lErrorCode == 0) {
                    SetError(7050);
                    SetErrorString(&e);
                }
                e.Delete();
            }
        }
        if (lErrorCode != 0) return fail();

        bIsOpen = TRUE;
        m_lSelectAdded = 0;
        m_lSelectCount = 0;

        if (OpenFaultHit(OpenFault::SchemaCheck) || !m_pSchema->CheckAndUpgradeDatabase()) {
            SetError(7060);
            return fail();
        }

        if (OpenFaultHit(OpenFault::SettingsRestore)) {
            SetError(10);
            return fail();
        }
        if (!RestoreDBParams()) {
            PassOnError();
            return fail();
        }
    } catch (...) {
        // Any other exception ends the open with the code set so far.
        return fail();
    }

    if (bShow) notice.Destroy();
    if (OpenFaultHit(OpenFault::Notification)) return SetError(30);
    return SendMessage(kNotifyOpened, 0, lKey, 0);
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
