#include <qel/platform/ApplicationIdentity.h>

#include <qel/platform/AppProfile.h>

#include <mutex>

namespace qel::platform {

namespace {

// Function-local, so it exists when the frame's start-up code sets it.
struct Store {
    std::mutex mutex;
    ApplicationIdentity identity;
};

Store& TheStore() {
    static Store store;
    return store;
}

}  // namespace

void SetApplicationIdentity(ApplicationIdentity identity) {
    AppProfile& profile = AppProfile::Current();
    profile.SetRegistryKey(identity.vendor);
    profile.SetAppName(identity.application);
    std::lock_guard lock(TheStore().mutex);
    TheStore().identity = std::move(identity);
}

ApplicationIdentity CurrentApplicationIdentity() {
    std::lock_guard lock(TheStore().mutex);
    return TheStore().identity;
}

}  // namespace qel::platform
