// CDatabaseObj is the one object the component hands to its clients: it
// keeps a clinic database's profile, connection, schema, database-wide
// settings and in-memory caches.
//
// A client creates it (through the class factory, or directly in process),
// chooses a profile (Get for a stored one, AddNew for a temporary one), opens
// the database and then works with the properties and methods of its two
// faces: the automation face (properties and methods by name or dispatch
// number) and the native face (the public members below).
//
// Every fallible operation clears the error state first and reports failure
// by returning FALSE (or a documented fallback) with the reason in
// lErrorCode; strError receives text only from the client's callback object.
// String getters return a new BSTR that the caller frees with SysFreeString.
//
// The object is apartment-threaded: every call must come from the thread
// that created it; nothing inside takes a lock.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <qel/database/DatabaseDispatch.h>
#include <qel/database/SettingsRecord.h>
#include <qel/datasource/DataSourceHost.h>
#include <qel/outside/drivers/DatabaseCallback.h>
#include <qel/platform/Bstr.h>
#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>
#include <qel/schema/SchemaHost.h>

class CDatabase;
class CMessageDialog;
namespace qel::platform {
class NamedMutex;
}
class ICallbackWindow;
class CDataSourceSetup;
struct PreparedDataSource;
class CDoctorSet;
class CMediaTypeSet;
class CMediaSet;
class CPatientSet;
class CLayoutSet;
class CLayoutData;
class CDoctorData;
class CMediaTypeData;
class CMediaData;
class CPatientData;
class CDatabaseSchema;
class CDBException;
class CQELObjectSet;
class CQELDatabaseItem;
class CQELObjectData;
struct IQELServer;
struct CRuntimeClass;

class QEL_API CDatabaseObj : public ISchemaHost, public IDataSourceHost {
public:
    // Bits of m_lValidMask: which profile values are known.
    enum : LONG {
        VALID_MULTIUSER = 0x0001,
        VALID_DEFAULT = 0x0002,
        VALID_NAME = 0x0004,
        VALID_DATASOURCE = 0x0080,
        VALID_DIRECTORY = 0x0100,
        VALID_ENGINE = 0x0400,
        VALID_CURRENTDOCTOR = 0x1000,
    };

    // Source modules named in log records.
    static constexpr const char* kModuleDatabaseObj = "DatabaseObj";
    static constexpr const char* kModuleCallbackWnd = "DatabaseCallbackWnd";

    CDatabaseObj();
    virtual ~CDatabaseObj();
    CDatabaseObj(const CDatabaseObj&) = delete;
    CDatabaseObj& operator=(const CDatabaseObj&) = delete;

    // Automation reference counting: the object starts with one reference,
    // and the last Release deletes it.
    ULONG ExternalAddRef();
    ULONG ExternalRelease();

    // --- Automation face and class record ----------------------------------
    // The class identifier the class factory creates these objects under.
    static const CLSID guid;
    // A new object on the heap, returned as its IUnknown with one reference:
    // the last Release deletes it.
    static IUnknown* CreateObject();
    static const CRuntimeClass* GetThisClass();
    virtual const CRuntimeClass* GetRuntimeClass() const;
    // The object's IDispatch (properties and methods by name or dispatch
    // number); with bAddRef it carries a reference for the caller.
    IDispatch* GetIDispatch(BOOL bAddRef);

private:
    CDatabaseDispatch m_xDispatch{*this};

public:
    // --- end of automation face ---------------------------------------------

    // --- Simple properties ---------------------------------------------
    LONG GetLKey();
    void SetLKey(LONG value);
    BOOL GetBDefaultEngine();
    void SetBDefaultEngine(BOOL value);
    LONG GetLEngine();
    void SetLEngine(LONG value);
    BOOL GetBMultiUser();
    void SetBMultiUser(BOOL value);
    BSTR GetStrName();
    void SetStrName(LPCSTR value);
    LONG GetLNumber();
    void SetLNumber(LONG value);
    BSTR GetStrServerOS();
    void SetStrServerOS(LPCSTR value);
    BSTR GetStrProtocol();
    void SetStrProtocol(LPCSTR value);
    BSTR GetStrHostAddress();
    void SetStrHostAddress(LPCSTR value);
    BSTR GetStrDataSource();
    void SetStrDataSource(LPCSTR value);
    BSTR GetStrDirectory();
    void SetStrDirectory(LPCSTR value);
    BSTR GetStrLoginID();
    void SetStrLoginID(LPCSTR value);
    BOOL GetBServerObjectInUse();
    void SetBServerObjectInUse(BOOL value);
    BSTR GetStrAppServer();
    void SetStrAppServer(LPCSTR value);
    LONG GetLCurrentDoctor();
    void SetLCurrentDoctor(LONG lDoctorKey);
    BOOL GetBIsNew();
    void SetBIsNew(BOOL value);
    BOOL GetBIsOpen();
    void SetBIsOpen(BOOL value);
    LONG GetLErrorCode();
    void SetLErrorCode(LONG value);
    BSTR GetStrError();
    void SetStrError(LPCSTR value);

    // --- Profiles -----------------------------------------------------------
    BOOL AddNew(BOOL bFirst, BOOL bSecond);
    BOOL Get(LONG lProfile);
    BOOL Update();
    BOOL Delete();

    // --- Opening and closing ---------------------------------------------------
    BOOL Open();
    // bShow: display the connecting notice while connecting.
    BOOL Open2(BOOL bShow);
    // FALSE only when the database was not open.
    BOOL Close();

    // --- Keys -------------------------------------------------------------------
    // The next key of a table's counter row; FALSE after 120 failed attempts.
    // Touches neither the error state nor the log.
    BOOL GetNewKey(int nTable, LONG* plKey);
    // A block of lCount consecutive keys (bulk loads): one counter update;
    // *plFirstKey receives the first of them. Only a conflict (another
    // workstation changed or locked the counter row) is retried, up to 120
    // attempts a pause apart, and `onRetry` hears of each retry with the
    // attempt number (2 to 120) and the conflict. Any other failure (a
    // read-only database, no counter row, a lost connection) ends it at once.
    // On FALSE, *pFailure (when given) says why. Touches neither the error
    // state nor the log.
    BOOL GetNewKeys(int nTable, LONG lCount, LONG* plFirstKey, std::string* pFailure = nullptr,
                    const std::function<void(int nAttempt, const std::string& strConflict)>& onRetry = {});

    // --- Object sets --------------------------------------------------------------
    // TRUE when the patient set has been built (it builds nothing).
    BOOL PatientsRead();

    // --- Record operations on the caches ---------------------------------------
    // Add: the set takes ownership on success; on failure the caller keeps it.
    BOOL AddDoctorData(CDoctorData* pData);
    BOOL ReplaceDoctorData(CDoctorData* pData);
    BOOL GetDoctorData(LONG lKey, CDoctorData** ppData);
    BOOL DeleteDoctorData(LONG lKey);
    BOOL AddMediaTypeData(CMediaTypeData* pData);
    BOOL ReplaceMediaTypeData(CMediaTypeData* pData);
    BOOL GetMediaTypeData(LONG lKey, CMediaTypeData** ppData);
    BOOL DeleteMediaTypeData(LONG lKey);
    BOOL AddMediaData(CMediaData* pData);
    BOOL ReplaceMediaData(CMediaData* pData);
    BOOL GetMediaData(LONG lKey, CMediaData** ppData);
    BOOL DeleteMediaData(LONG lKey);
    BOOL AddPatientData(CPatientData* pData);
    BOOL ReplacePatientData(CPatientData* pData);
    BOOL GetPatientData(LONG lKey, CPatientData** ppData);
    BOOL DeletePatientData(LONG lKey);

    // --- Enumeration, patient search and doctor search ---------------------
    // Positions are 0-based; keys come from index 0 of the doctor, media type
    // and media sets, and from the current patient order (ArrangePatients).
    BOOL GetDoctorCount(LONG* plCount);
    BOOL GetDoctor(LONG lPosition, LONG* plKey);
    BOOL GetImageMediaTypeCount(LONG* plCount);
    BOOL GetImageMediaType(LONG lPosition, LONG* plKey);
    BOOL GetImageMediaCount(LONG* plCount);
    BOOL GetImageMedia(LONG lPosition, LONG* plKey);
    // Index 0 orders patients by name, 1 by number. FALSE without an error
    // code for an index the set does not have (the order stays changed).
    BOOL ArrangePatients(SHORT nIndex, BOOL bAscending);
    BOOL GetPatientCount(LONG* plCount);
    BOOL GetPatient(LONG lPosition, LONG* plKey);

    // Match modes: 0 equal, 1 begins with, 2 contains (case-, width- and
    // kana-type-insensitive). The found keys are read with GetFoundPatient.
    BOOL SearchPatient(LPCSTR szName, SHORT nNameMode, LPCSTR szNumber, SHORT nNumberMode, BOOL bEmptyNumber,
                       BOOL bSelect, LONG* plCount);
    // Adds the Kanji name; only under a Japanese thread locale (else 8090).
    BOOL SearchPatient2(LPCSTR szName, SHORT nNameMode, LPCSTR szKanjiName, SHORT nKanjiMode, BOOL bEmptyKanji,
                        LPCSTR szNumber, SHORT nNumberMode, BOOL bEmptyNumber, BOOL bSelect, LONG* plCount);
    BOOL GetFoundPatient(LONG lPosition, LONG* plKey);
    // The patients of one doctor, in the patient set's hash order; read them
    // with GetDoctorOwnerKey (or GetFoundPatient).
    BOOL SearchDoctor(LONG lDoctorKey, LONG* plCount);
    BOOL GetDoctorOwnerKey(LONG lPosition, LONG* plKey);
    // The result of the last patient or doctor search.
    const std::vector<LONG>& GetFoundPatients() const { return m_arrFoundPatients; }

private:
    // The count and position family, over any set and its builder.
    template <class Data, class Set>
    BOOL GetSetCount(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), LONG* plCount);
    template <class Data, class Set>
    BOOL GetSetKey(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), int nIndex, LONG lPosition,
                   LONG* plKey);
    BOOL ReadFoundPatient(LONG lPosition, LONG* plKey, LONG lBadPositionCode);
    BOOL SearchPatientHelper(int nKind, const std::string& strText, int nMode, int bEmpty,
                             const std::string& strSecond, int nSecondMode, int bSecondEmpty,
                             std::vector<LONG>& result);
    BOOL SearchPatientHelper2(int nKind, const std::string& strText, int nMode, int bEmpty, std::vector<LONG>& result);

public:
    // --- end of enumeration, patient search and doctor search --------------

    // --- Native members --------------------------------------------------
    std::string GetMemberStrError() const { return strError; }
    std::string GetID() const { return m_strID; }
    // The application server while the database is open (no reference added).
    IQELServer* GetQELServerObject() const { return m_pServer; }

    // A 32-bit value that names this object for its whole life and resolves
    // back to it through FromPtr: in-process callers reach the native face
    // this way (an address does not fit 32 bits on 64-bit platforms).
    LONG GetPtr() const { return m_lPtr; }
    static CDatabaseObj* FromPtr(LONG ptr);

    // Leaves the string as it is: a database exception never changes strError.
    static void CreateErrorString(CDBException* pException, std::string* pString);

    // Workstation and patient-lock answers: there is no workstation table
    // traffic and no lock holder in this component.
    BOOL TouchUserTable();
    BOOL LockPatient(LONG lPatientKey);
    BOOL UnlockPatient(LONG lPatientKey);
    BOOL GetPatientLocker(LONG lPatientKey, std::string* pLocker);

    // The "KanaChar" setting read at construction (0..2).
    LONG GetKanaChar() const { return m_nKanaChar; }

    // The process-wide counter of temporary profile numbers.
    static LONG m_lNextNewKey;

    // The ODBC connection of the open database (null before the first open).
    CDatabase* GetDatabase() const { return m_pDatabase.get(); }

    // IRecordHost: what the record sets built on this object need.
    CDatabase* GetRecordConnection() override;
    BOOL AllocateRecordKey(int nTable, LONG* plKey) override;
    // ISchemaHost and IDataSourceHost: what the schema and the data source
    // setup read of this object.
    CDatabase* GetSchemaConnection() override { return m_pDatabase.get(); }
    LONG GetSchemaEngine() override { return lEngine; }
    LONG GetDataSourceEngine() override { return lEngine; }
    const std::string& GetDataSourceName() override { return strDataSource; }
    const std::string& GetDataSourceDirectory() override { return strDirectory; }

protected:
    virtual void OnFinalRelease();

private:
    friend struct DatabaseObjInternals;  // the component's own tests (not installed)

    // The error convention, in one place.
    void ClearError();
    // Sets `code` with an empty strError, writes an error record, returns FALSE.
    BOOL SetError(LONG code, const char* module = kModuleDatabaseObj, int line = __builtin_LINE());
    // A nested operation of this object failed and left its code: keep it,
    // write a trace record when it is not 0, and return FALSE.
    BOOL PassOnError(const char* module = kModuleDatabaseObj, int line = __builtin_LINE());

    BOOL CheckParams(BOOL bStrict);
    void SetEngine();
    void DeleteObjectSets();
    void CloseCleanup();
    // The steps of Open2, in order; each answers FALSE with its code set.
    BOOL TakeProfileMutex();
    BOOL RunOpenSteps(PreparedDataSource* prepared);
    BOOL CreateServer();
    BOOL CreateCallbackWindow();
    BOOL Connect();
    void OpenFailureCleanup(BOOL bShow, CMessageDialog& notice, const PreparedDataSource& prepared);
    void ReleaseServer();
    BOOL CheckDoctorSet(CDoctorData* pExclude);
    BOOL CheckMediaTypeSet(CMediaTypeData* pExclude);
    BOOL CheckMediaSet(CMediaData* pExclude, BOOL bReload);
    BOOL CheckPatientSet(CPatientData* pExclude);
    BOOL CheckMediaSetForRecords(CMediaData* pExclude);

    template <class Data, class Set>
    BOOL AddData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), Data* pData);
    template <class Data, class Set>
    BOOL ReplaceData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), Data* pData);
    template <class Data, class Set>
    BOOL GetData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), LONG lKey, Data** ppData);
    template <class Data, class Set>
    BOOL DeleteData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), LONG lKey);

    void ShowReadOnlyNotice();
    static BSTR MakeBstr(const std::string& text);
    BSTR GetProfileString(const std::string& value, LONG validBit);

    // --- State, in declaration order --------------------------------------
    std::unique_ptr<ICallbackWindow> m_pCallbackWnd;
    std::unique_ptr<CDataSourceSetup> m_pDataSourceSetup;
    std::unique_ptr<CDatabaseSchema> m_pSchema;

    // --- Client notifications, callback window and live items ------------
public:
    // The kind of live item OrphanizeItems and InvalidateItems reach: items
    // whose data object is an image (CImageData) or a status record (CStatusData).
    enum EItemType : LONG { eItemImage = 0, eItemStatus = 1 };

    // Passes a message to the client's callback object (objDatabaseCallback).
    // TRUE when none is attached or the client reports lErrorCode 0; FALSE
    // with the client's lErrorCode and strError when it reports a failure,
    // or with 30 when its error state could not be read.
    BOOL SendMessage(LONG lType, LONG lParam1, LONG lParam2, LONG lParam3);
    // objDatabaseCallback. The getter returns a reference of the caller's own
    // (null when none is attached); the setter releases the object attached
    // so far and keeps a reference to the new one until it is replaced or
    // this object goes. Null detaches.
    IDispatch* GetObjDatabaseCallback();
    void SetObjDatabaseCallback(IDispatch* pDispatch);

    // The hidden callback window while a database is open (from the start of
    // Open to the end of Close), null otherwise:
    // other code of this process sends it the CDatabaseCallbackWnd messages
    // (WM_USER + 1 to + 9) to reach this object on its own thread, e.g.
    //     LONG key = -1;
    //     SendMessage(db.GetCallbackWindow(), WM_USER + 6, 4, (LPARAM)&key);
    // The handle dies with the close; ask again after the next open.
    HWND GetCallbackWindow() const;
    // What the callback window runs for its senders: a close that skips the
    // closing notice when bQuiet, and the error state a driver exception
    // (CDBException) leaves.
    BOOL CloseOnRequest(BOOL bQuiet);
    void SetErrorString(CDBException* pException);

    // Adds to the selection counter (and, for n > 0, the added-selection
    // counter) while the database is open; no effect while it is closed.
    void UpdateSelectCount(LONG lIncrement);
    // Dispatches every WM_USER + 8 waiting in the calling thread's queue
    // (increments posted to the callback window); other messages stay queued.
    void PumpUpdateSelectCountMessages();
    LONG GetSelectCount() const { return m_lSelectCount; }
    LONG GetSelectAdded() const { return m_lSelectAdded; }

    // Live item registry: the list does not own the items. Serial numbers
    // start at 1 and are never reused. Null items are ignored.
    void RegisterItem(CQELDatabaseItem* pItem);
    void UnregisterItem(CQELDatabaseItem* pItem);
    // Orphanize(l1, l2) on every item of the type that is not orphaned yet.
    void OrphanizeItems(LONG l1, LONG l2, EItemType eType);
    // Invalidate() on every item of the type whose data belongs to the owner.
    void InvalidateItems(LONG lOwnerKey, EItemType eType);
    // Frees every cached patient's image set (with a beep for each).
    void EnsureImageSetsDeleted();
    // A client released pData: frees its patient's image or status set when
    // nothing in it is used any more. pData may be deleted by the call.
    void CheckOwnersObjectSet(CQELObjectData* pData);

private:
    IDatabaseCallback m_xDatabaseCallback;
    // --- end of client notifications, callback window and live items -----

    std::string m_strID;

public:
    // Profile values; readable by the native face.
    LONG lKey = 0;
    LONG lEngine = -1;
    std::string strName;
    std::string strDataSource;
    std::string strDirectory;
    LONG lCurrentDoctor = 0;
    LONG lCurrentMedia = 0;
    BOOL bIsNew = FALSE;
    BOOL bIsOpen = FALSE;

    LONG lErrorCode = 0;
    std::string strError;

    // --- Database-wide settings and the disk space controller --------------
    // Kept in the settings record (TBLDATA2 of TBL200 row 0); the members are
    // valid while the database is open.
    BOOL GetBCompressGrayscaleImages();
    void SetBCompressGrayscaleImages(BOOL value);
    BOOL GetBCompressColorImages();
    void SetBCompressColorImages(BOOL value);
    BOOL GetBAllowDuplicatePatientIDs();
    void SetBAllowDuplicatePatientIDs(BOOL value);

    // FALSE (error state untouched) while the database is closed.
    BOOL GetDiskSpaceControllerData(CDiskSpaceControllerData* pData);
    // Stores, saves and hands the settings to the application server; on a
    // failure the new settings stay, and the error state is cleared.
    BOOL SetDiskSpaceControllerData(const CDiskSpaceControllerData& data);
    // TRUE when `nRequired` more units leave the free space the application
    // server reports at or above both thresholds (7170 below the warning,
    // 7180 below the error threshold, 7160 when the server cannot tell).
    BOOL CheckDiskSpace(int nRequired);

    BOOL bCompressGrayscaleImages = FALSE;
    BOOL bCompressColorImages = FALSE;
    BOOL bAllowDuplicatePatientIDs = TRUE;
    BOOL bDefaultImageMediaName = FALSE;
    std::string strImageMediaNameFormat = "%Y%m%d_%i";
    CExtOleDateTime dateImageMediaNumber{1900, 1, 1};
    LONG lImageMediaNumber = 1;
    CExtOleDateTime dateLastImageMediaCreation{1900, 1, 1};

private:
    void SetDefaultDBParams();
    BOOL SaveDBParams();
    BOOL RestoreDBParams();
    BOOL InitDiskSpaceControllerData();
    // Ties the profile to the database behind it and checks its current doctor.
    BOOL CheckProfileIdentity(const std::string& databaseId);
    qel::settings::DatabaseSettings CollectSettings() const;
    void ApplySettings(const qel::settings::DatabaseSettings& settings);
    // Every setter of a value the settings record keeps: 50 while closed;
    // otherwise stores the value and saves the record, and a failed save puts
    // the old value back and keeps its code. An unchanged value is not saved
    // again unless bSaveUnchanged.
    template <class T>
    BOOL ChangeSetting(T& member, T value, bool bSaveUnchanged = false) {
        ClearError();
        if (!bIsOpen) return SetError(50);
        if (!bSaveUnchanged && member == value) return TRUE;
        T old = std::move(member);
        member = std::move(value);
        if (SaveDBParams()) return TRUE;
        PassOnError();
        member = std::move(old);
        return FALSE;
    }

    CDiskSpaceControllerData m_DiskSpaceControllerData;

    // --- Image media, parameter files and page layouts ---------------------
public:
    // The current image medium (MEDKEY, 0 for none). Reading re-reads every
    // database-wide setting; setting accepts only a medium of a network
    // folder media type and saves the settings.
    LONG GetLCurrentMedia();
    void SetLCurrentMedia(LONG lMediaKey);
    BOOL GetBDefaultImageMediaName();
    void SetBDefaultImageMediaName(BOOL value);
    // The naming template of new media; the setter trims blanks.
    BSTR GetStrImageMediaNameFormat();
    void SetStrImageMediaNameFormat(LPCSTR value);
    DATE GetDateLastImageMediaCreation();
    void SetDateLastImageMediaCreation(DATE value);
    // The number of the next medium created today (1 for the first).
    int GetImageMediaNumber();
    // Advances that number after a medium was created; FALSE (error state
    // cleared) when the settings could not be saved.
    BOOL IncrementImageMediaNumber();

    // Parameter files (INI text): the settings and the media types that are
    // not network folders.
    BOOL ExportParameters(LPCSTR path);
    BOOL ImportParameters(LPCSTR path);

    // The layout with key lID, or with bByPage nonzero the layout of page
    // lID. A layout of the set belongs to the set; when none is found a new,
    // empty layout is handed out that the caller owns and deletes.
    BOOL GetLayoutData(LONG lID, int bByPage, CLayoutData** ppData);
    // Read only: whether the layout of page 1 holds all 51 buttons.
    BOOL GetBDefault15LayoutSaved();
    void SetBDefault15LayoutSaved(BOOL value);

    // Stores a new media type under a fresh key: its IMT200 row and its entry
    // in the media type set. 0, 8000 when the name is taken, 10 when the set
    // or the table could not be read or written. Touches neither the error
    // state nor the log: the media type object reports the code.
    LONG AddMediaType(const std::string& strTypeName, LONG lWarningThreshold, LONG lErrorThreshold);

private:
    BOOL CheckLayoutSet();
    BOOL FindDefaultPageLayout(LONG lPageID, CLayoutData** ppData);
    // --- end of image media, parameter files and page layouts --------------

private:
    IQELServer* m_pServer = nullptr;
    LONG m_lValidMask = 0;
    BOOL m_bQuietClose = FALSE;
    std::unique_ptr<CDatabase> m_pDatabase;
    std::unique_ptr<qel::platform::NamedMutex> m_hMutex;
    LONG m_lSelectAdded = 0;
    LONG m_lSelectCount = 0;
    std::unique_ptr<CDoctorSet> m_pDoctorSet;
    std::unique_ptr<CMediaTypeSet> m_pMediaTypeSet;
    std::unique_ptr<CMediaSet> m_pMediaSet;
    std::unique_ptr<CPatientSet> m_pPatientSet;
    LONG m_nPatientSortIndex = 0;
    BOOL m_bPatientSortAscending = TRUE;
    std::unique_ptr<CLayoutSet> m_pLayoutSet;
    LONG m_lNextItemNumber = 1;
    std::list<CQELDatabaseItem*> m_listItems;
    BOOL m_bCompatibleSearch = FALSE;
    std::vector<LONG> m_arrFoundPatients;
    LONG m_nKanaChar = 2;

    ULONG m_dwRef = 1;
    LONG m_lPtr = 0;
};
