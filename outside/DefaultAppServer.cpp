#include <qel/outside/DefaultAppServer.h>

#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

#include <qel/outside/QELServer.h>
#include <qel/platform/ClassRegistry.h>
#include <qel/platform/DispatchTable.h>
#include <qel/platform/UserFolders.h>

namespace fs = std::filesystem;

namespace qel::outside {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The server's own interface, and an automation face on the same object
// for late-bound clients: the three calls by name, the out-parameters by
// reference, a failing HRESULT as the call's.
class CDefaultAppServer final : public IQELServer, public qel::platform::DispatchObject<CDefaultAppServer> {
public:
    CDefaultAppServer() { AfxOleLockApp(); }
    CDefaultAppServer(const CDefaultAppServer&) = delete;
    CDefaultAppServer& operator=(const CDefaultAppServer&) = delete;

    const qel::platform::DispatchTable<CDefaultAppServer>& Table() const {
        using DT = qel::platform::DispatchTable<CDefaultAppServer>;
        using VT = qel::platform::DispType;
        using C = CDefaultAppServer;
        static const DT table({
            DT::Method<&C::InitByName, VT::Void, VT::Long, VT::Long, VT::Long, VT::String>("InitDiskSpaceController",
                                                                                          1),
            DT::Method<&C::GetByName, VT::Void, VT::LongOut, VT::LongOut, VT::LongOut, VT::LongOut>(
                "GetDiskSpaceController", 2),
            DT::Method<&C::FreeSpaceByName, VT::Void, VT::LongOut>("GetFreeDiskSpace", 3),
        });
        return table;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IQELServer) {
            *ppv = static_cast<IQELServer*>(this);
            AddRef();
            return S_OK;
        }
        return DispatchObject::QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return DispatchObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DispatchObject::Release(); }

    HRESULT STDMETHODCALLTYPE InitDiskSpaceController(LONG lOn, LONG lWarningThreshold, LONG lErrorThreshold,
                                                      LONG lCount, DiskSpaceItemRecord* pRecords) override {
        if (lCount < 0 || (lCount > 0 && pRecords == nullptr)) return E_INVALIDARG;
        std::vector<std::string> paths;
        paths.reserve(static_cast<size_t>(lCount));
        for (LONG i = 0; i < lCount; ++i) {
            const char* field = pRecords[i].m_szPath;
            // A path field without its NUL is read no further than the field.
            paths.emplace_back(field, strnlen(field, DiskSpaceItemRecord::kPathSize));
        }
        m_bOn = lOn;
        m_lWarning = lWarningThreshold;
        m_lError = lErrorThreshold;
        m_paths = std::move(paths);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDiskSpaceController(LONG* plOn, LONG* plWarningThreshold, LONG* plErrorThreshold,
                                                     LONG* plCount) override {
        if (plOn != nullptr) *plOn = m_bOn;
        if (plWarningThreshold != nullptr) *plWarningThreshold = m_lWarning;
        if (plErrorThreshold != nullptr) *plErrorThreshold = m_lError;
        if (plCount != nullptr) *plCount = static_cast<LONG>(m_paths.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetFreeDiskSpace(LONG* plFreeSpace) override {
        if (plFreeSpace == nullptr) return E_POINTER;
        std::optional<LONG> least;
        bool anyPath = false;
        for (const std::string& path : m_paths) {
            if (path.empty()) continue;
            anyPath = true;
            const std::optional<LONG> free = FreeSpaceMiB(path);
            if (!free) return E_FAIL;
            least = least ? std::min(*least, *free) : *free;
        }
        if (!anyPath) least = FreeSpaceMiB(DefaultImageStore());
        if (!least) return E_FAIL;
        *plFreeSpace = *least;
        return S_OK;
    }

private:
    ~CDefaultAppServer() override { AfxOleUnlockApp(); }

    static void Check(HRESULT hr) {
        if (FAILED(hr)) throw qel::platform::DispatchFailure{hr};
    }
    // By name the server takes one path at most (empty: none).
    void InitByName(LONG lOn, LONG lWarningThreshold, LONG lErrorThreshold, const std::string& path) {
        DiskSpaceItemRecord record{};
        if (path.size() >= DiskSpaceItemRecord::kPathSize) throw qel::platform::DispatchFailure{E_INVALIDARG};
        std::memcpy(record.m_szPath, path.data(), path.size());
        Check(InitDiskSpaceController(lOn, lWarningThreshold, lErrorThreshold, path.empty() ? 0 : 1, &record));
    }
    void GetByName(LONG* plOn, LONG* plWarningThreshold, LONG* plErrorThreshold, LONG* plCount) {
        Check(GetDiskSpaceController(plOn, plWarningThreshold, plErrorThreshold, plCount));
    }
    void FreeSpaceByName(LONG* plFreeSpace) { Check(GetFreeDiskSpace(plFreeSpace)); }

    LONG m_bOn = FALSE;
    LONG m_lWarning = 0;
    LONG m_lError = 0;
    std::vector<std::string> m_paths;
};

}  // namespace

HRESULT CreateDefaultAppServer(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* server = new (std::nothrow) CDefaultAppServer();
    if (server == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = server->QueryInterface(riid, ppv);
    server->Release();  // the creation reference; QueryInterface holds the caller's
    return hr;
}

bool RegisterDefaultAppServer() {
    return qel::platform::RegisterClassFactoryIfAbsent(CLSID_QELServer, &CreateDefaultAppServer);
}

std::string DefaultImageStore() {
    if (std::string store = Env("QEL_IMAGE_STORE"); !store.empty()) return store;
    if (std::string data = Env("QEL_DATA_DIR"); !data.empty()) return data;
    return qel::platform::ApplicationFolder("XDG_DATA_HOME", ".local/share");
}

std::optional<LONG> FreeSpaceMiB(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::error_code ec;
    fs::path at = fs::absolute(fs::path(path), ec);
    if (ec) return std::nullopt;
    for (;;) {
        struct statvfs info {};
        if (::statvfs(at.c_str(), &info) == 0) {
            const unsigned long long unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
            const unsigned long long mib = static_cast<unsigned long long>(info.f_bavail) * unit / (1024ull * 1024ull);
            return static_cast<LONG>(std::min<unsigned long long>(mib, std::numeric_limits<LONG>::max()));
        }
        fs::path parent = at.parent_path();
        if (parent.empty() || parent == at) return std::nullopt;  // the root itself could not be measured
        at = std::move(parent);
    }
}

}  // namespace qel::outside

HRESULT CreateQELServer(IQELServer** ppServer) {
    if (ppServer == nullptr) return E_POINTER;
    qel::outside::RegisterDefaultAppServer();
    return qel::platform::CreateInstance(CLSID_QELServer, IID_IQELServer, reinterpret_cast<void**>(ppServer));
}
