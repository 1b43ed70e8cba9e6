#include <qel/platform/AppProfile.h>

#include <qel/platform/Registry.h>

namespace qel::platform {

AppProfile& AppProfile::Current() {
    static AppProfile profile("", "");
    return profile;
}

AppProfile::AppProfile(std::string registryKey, std::string appName, Registry* registry)
    : m_registryKey(std::move(registryKey)), m_appName(std::move(appName)), m_registry(registry) {}

void AppProfile::SetRegistryKey(const std::string& registryKey) { m_registryKey = registryKey; }

void AppProfile::SetAppName(const std::string& appName) { m_appName = appName; }

std::string AppProfile::RootKey() const {
    std::string root = "Software";
    for (const std::string* part : {&m_registryKey, &m_appName})
        if (!part->empty()) root += "\\" + *part;
    return root;
}

Registry& AppProfile::Store() const { return m_registry != nullptr ? *m_registry : Registry::CurrentUser(); }

std::string AppProfile::SectionKey(const std::string& section) const {
    return section.empty() ? RootKey() : RootKey() + "\\" + section;
}

LONG AppProfile::GetProfileInt(const std::string& section, const std::string& entry, LONG defaultValue) const {
    return Store().GetInt(SectionKey(section), entry).value_or(defaultValue);
}

std::string AppProfile::GetProfileString(const std::string& section, const std::string& entry,
                                         const std::string& defaultValue) const {
    return Store().GetString(SectionKey(section), entry).value_or(defaultValue);
}

BOOL AppProfile::WriteProfileInt(const std::string& section, const std::string& entry, LONG value) {
    return Store().SetInt(SectionKey(section), entry, value) ? TRUE : FALSE;
}

BOOL AppProfile::WriteProfileString(const std::string& section, const std::string& entry, const std::string& value) {
    return Store().SetString(SectionKey(section), entry, value) ? TRUE : FALSE;
}

}  // namespace qel::platform
