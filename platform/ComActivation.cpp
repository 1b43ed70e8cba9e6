#include <qel/platform/ComActivation.h>

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include <qel/platform/Diagnostics.h>
#include <qel/platform/Registry.h>

namespace qel::platform {
namespace {

const std::string kClasses = "Software\\Classes\\";

std::string ClassKey(const CLSID& clsid) { return kClasses + "CLSID\\" + GuidToString(clsid); }

// The libraries loaded for activation, by path; each stays loaded until
// CoFreeUnusedLibraries finds it unused.
class LoadedServers {
public:
    static LoadedServers& Instance() {
        static LoadedServers servers;
        return servers;
    }

    // The DllGetClassObject of the library at `path`, loading it on first use.
    HRESULT Entry(const std::string& path, PFN_DllGetClassObject* pEntry) {
        std::lock_guard lock(m_mutex);
        auto it = m_libraries.find(path);
        if (it == m_libraries.end()) {
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) {
                const char* why = ::dlerror();
                ReportDiagnostic(Severity::Warning,
                                 "cannot load the server library " + path + ": " + (why != nullptr ? why : "?"));
                return CO_E_DLLNOTFOUND;
            }
            it = m_libraries.emplace(path, handle).first;
        }
        auto* entry = reinterpret_cast<PFN_DllGetClassObject>(::dlsym(it->second, "DllGetClassObject"));
        if (entry == nullptr) return CO_E_ERRORINDLL;
        *pEntry = entry;
        return S_OK;
    }

    void FreeUnused() {
        std::lock_guard lock(m_mutex);
        for (auto it = m_libraries.begin(); it != m_libraries.end();) {
            auto* canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(::dlsym(it->second, "DllCanUnloadNow"));
            if (canUnload != nullptr && canUnload() == S_OK) {
                ::dlclose(it->second);
                it = m_libraries.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    std::mutex m_mutex;
    std::map<std::string, void*> m_libraries;
};

}  // namespace

bool RegisterInprocServer(const CLSID& clsid, const std::string& progId, const std::string& className,
                          const std::string& libraryPath) {
    Registry& registry = Registry::CurrentUser();
    const std::string clsidText = GuidToString(clsid);
    const std::string classKey = ClassKey(clsid);
    bool ok = registry.SetString(kClasses + progId, "", className);
    ok = registry.SetString(kClasses + progId + "\\CLSID", "", clsidText) && ok;
    ok = registry.SetString(classKey, "", className) && ok;
    ok = registry.SetString(classKey + "\\ProgID", "", progId) && ok;
    ok = registry.SetString(classKey + "\\InprocServer32", "", libraryPath) && ok;
    return ok;
}

std::string InprocServerPath(const CLSID& clsid) {
    return Registry::CurrentUser().GetString(ClassKey(clsid) + "\\InprocServer32", "").value_or("");
}

std::string ModuleOfAddress(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    std::unique_ptr<char, decltype(&std::free)> full(::realpath(info.dli_fname, nullptr), &std::free);
    return full ? std::string(full.get()) : std::string(info.dli_fname);
}

}  // namespace qel::platform

HRESULT CLSIDFromProgID(const char* progId, CLSID* pClsid) {
    if (progId == nullptr || pClsid == nullptr) return E_INVALIDARG;
    const auto text = qel::platform::Registry::CurrentUser().GetString(
        qel::platform::kClasses + progId + "\\CLSID", "");
    if (!text || !qel::platform::GuidFromString(*text, pClsid)) return CO_E_CLASSSTRING;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    const std::string path = qel::platform::InprocServerPath(rclsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    PFN_DllGetClassObject entry = nullptr;
    const HRESULT hr = qel::platform::LoadedServers::Instance().Entry(path, &entry);
    if (FAILED(hr)) return hr;
    const HRESULT answer = entry(rclsid, riid, ppv);
    if (FAILED(answer)) *ppv = nullptr;
    return answer;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

void CoFreeUnusedLibraries() { qel::platform::LoadedServers::Instance().FreeUnused(); }
