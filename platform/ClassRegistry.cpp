#include <qel/platform/ClassRegistry.h>

#include <mutex>
#include <utility>
#include <vector>

namespace qel::platform {
namespace {

struct Registration {
    CLSID clsid;
    ClassFactory factory;
};

struct Classes {
    std::mutex mutex;
    std::vector<Registration> entries;

    ClassFactory* Find(REFCLSID clsid) {
        for (Registration& r : entries)
            if (r.clsid == clsid) return &r.factory;
        return nullptr;
    }
};

Classes& Registry() {
    static Classes classes;
    return classes;
}

}  // namespace

ClassFactory RegisterClassFactory(REFCLSID clsid, ClassFactory factory) {
    Classes& classes = Registry();
    std::lock_guard lock(classes.mutex);
    ClassFactory previous;
    if (ClassFactory* existing = classes.Find(clsid)) {
        previous = std::exchange(*existing, std::move(factory));
        if (!*existing) std::erase_if(classes.entries, [&](const Registration& r) { return r.clsid == clsid; });
    } else if (factory) {
        classes.entries.push_back({clsid, std::move(factory)});
    }
    return previous;
}

bool RegisterClassFactoryIfAbsent(REFCLSID clsid, ClassFactory factory) {
    Classes& classes = Registry();
    std::lock_guard lock(classes.mutex);
    if (!factory || classes.Find(clsid) != nullptr) return false;
    classes.entries.push_back({clsid, std::move(factory)});
    return true;
}

bool IsClassRegistered(REFCLSID clsid) {
    Classes& classes = Registry();
    std::lock_guard lock(classes.mutex);
    return classes.Find(clsid) != nullptr;
}

HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    ClassFactory factory;
    {
        Classes& classes = Registry();
        std::lock_guard lock(classes.mutex);
        ClassFactory* found = classes.Find(clsid);
        if (found == nullptr) return REGDB_E_CLASSNOTREG;
        factory = *found;  // called outside the lock: a factory may use the registry
    }
    HRESULT hr = E_FAIL;
    try {
        hr = factory(riid, ppv);
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

}  // namespace qel::platform
