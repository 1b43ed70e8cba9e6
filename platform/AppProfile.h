// The application profile of the component: integer and string values in
// sections below "Software\<registry key>\<application name>" of the current
// user's registry, the way an MFC application with SetRegistryKey reaches
// them (GetProfileInt, GetProfileString, WriteProfileInt, WriteProfileString).
//
// The component's profile is rooted at the application's identity
// (platform/ApplicationIdentity.h), which the frame sets once at start-up;
// everyone reads AppProfile::Current(). Values are read afresh from the registry file on
// every call; a write reports FALSE when the file cannot be written.
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {

class Registry;

class QEL_API AppProfile {
public:
    // The process-wide profile, rooted at Software\<vendor>\<application>
    // of SetApplicationIdentity ("Software" before it is called).
    static AppProfile& Current();

    AppProfile(std::string registryKey, std::string appName, Registry* registry = nullptr);

    void SetRegistryKey(const std::string& registryKey);
    void SetAppName(const std::string& appName);

    // "Software\<key>\<app>".
    std::string RootKey() const;

    // The default when the section or entry is absent or of the other type.
    LONG GetProfileInt(const std::string& section, const std::string& entry, LONG defaultValue) const;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const;
    BOOL WriteProfileInt(const std::string& section, const std::string& entry, LONG value);
    BOOL WriteProfileString(const std::string& section, const std::string& entry, const std::string& value);

private:
    Registry& Store() const;
    // The key of a section; an empty section means the root key.
    std::string SectionKey(const std::string& section) const;

    std::string m_registryKey;
    std::string m_appName;
    Registry* m_registry;  // not owned; null means Registry::CurrentUser()
};

}  // namespace qel::platform
