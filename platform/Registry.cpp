#include <qel/platform/Registry.h>

#include <qel/platform/Diagnostics.h>
#include <qel/platform/RegistryDocumentInternal.h>
#include <qel/platform/SharedFile.h>
#include <qel/platform/UserFolders.h>

#include <cstdlib>
#include <functional>

namespace qel::platform {

using registry_detail::Document;
using registry_detail::Fold;
using registry_detail::ReportOnce;
using registry_detail::TrimKey;

namespace {

std::string PathFromEnvironment() {
    const char* file = std::getenv("QEL_REGISTRY_FILE");
    if (file != nullptr && *file != '\0') return file;
    const std::string folder = ApplicationFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? std::string() : folder + "/registry.reg";
}

bool ValidText(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

// Reads never lock: writes replace the file by rename, so a reader always
// sees one whole version of it.
Document LoadForReading(const std::string& path) {
    if (path.empty()) {
        ReportOnce("\x1f" "no-path", "no registry file location: neither QEL_REGISTRY_FILE nor HOME is set");
        return Document::Empty();
    }
    std::string error;
    std::optional<std::string> bytes = ReadWholeFile(path, error);
    if (!bytes) {
        if (!error.empty()) ReportOnce(path + "\x1f" "read " + error, "registry file " + error);
        return Document::Empty();
    }
    Document doc = Document::Parse(std::move(*bytes), path);
    if (!doc.IsRegistryText()) return Document::Empty();
    return doc;
}

// Read-modify-write under the exclusive lock of the companion lock file.
// The edit returns whether it changed the document; an unchanged document is
// not written.
bool Modify(const std::string& path, const std::function<bool(Document&)>& edit) {
    if (path.empty()) {
        ReportDiagnostic(Severity::Error, "no registry file location: neither QEL_REGISTRY_FILE nor HOME is set");
        return false;
    }
    std::string refusal;  // the registry's own words for a document it will not write
    std::string error;
    const bool ok = UpdateSharedFile(
        path, 0600,
        [&](const std::optional<std::string>& bytes) {
            SharedFileEdit change;
            Document doc = bytes ? Document::Parse(*bytes, path) : Document::Empty();
            if (!doc.IsRegistryText()) {
                change.error = registry_detail::NotRegistryText(path) + "; nothing is written into it";
            } else if (!doc.Writable()) {
                change.error = "registry file " + path + " is not written over: its text cannot be decoded";
            } else if (edit(doc)) {
                change.bytes = doc.Serialize();
                if (!change.bytes)
                    change.error = "registry file " + path + ": the new text cannot be encoded as UTF-16";
            }
            refusal = change.error;
            return change;
        },
        error);
    if (ok) return true;
    ReportDiagnostic(Severity::Error, !refusal.empty() && error == refusal ? error : "registry file " + error);
    return false;
}

}  // namespace

Registry& Registry::CurrentUser() {
    static Registry registry{FromEnvironment{}};
    return registry;
}

Registry::Registry(std::string filePath) : m_path(std::move(filePath)) {}

Registry::Registry(FromEnvironment) : m_followEnvironment(true) {}

std::string Registry::FilePath() const { return m_followEnvironment ? PathFromEnvironment() : m_path; }

std::string Registry::Problem() const {
    const std::string path = FilePath();
    if (path.empty()) return "no registry file location: neither QEL_REGISTRY_FILE nor HOME is set";
    std::string error;
    std::optional<std::string> bytes = ReadWholeFile(path, error);
    if (!bytes) return error.empty() ? std::string() : "registry file " + error;
    const Document doc = Document::Parse(std::move(*bytes), path);
    if (!doc.IsRegistryText()) return registry_detail::NotRegistryText(path);
    if (!doc.Writable()) return "registry file " + path + " is not valid UTF-16 text";
    return {};
}

std::optional<LONG> Registry::GetInt(const std::string& key, const std::string& name) const {
    std::string path = FilePath();
    Document doc = LoadForReading(path);
    const registry_detail::Line* value = doc.FindValue(Fold(TrimKey(key)), Fold(name));
    if (value == nullptr) return std::nullopt;
    if (value->valueType != registry_detail::ValueType::Dword) {
        ReportOnce(path + "\x1f" "dword " + std::string(value->text),
                   "registry value " + TrimKey(key) + "\\" + name + " in " + path +
                       " is not a dword; it reads as absent");
        return std::nullopt;
    }
    return static_cast<LONG>(value->dwordValue);
}

std::optional<std::string> Registry::GetString(const std::string& key, const std::string& name) const {
    std::string path = FilePath();
    Document doc = LoadForReading(path);
    const registry_detail::Line* value = doc.FindValue(Fold(TrimKey(key)), Fold(name));
    if (value == nullptr) return std::nullopt;
    if (value->valueType != registry_detail::ValueType::String) {
        ReportOnce(path + "\x1f" "string " + std::string(value->text),
                   "registry value " + TrimKey(key) + "\\" + name + " in " + path +
                       " is not a string; it reads as absent");
        return std::nullopt;
    }
    return value->StringValue();
}

bool Registry::SetInt(const std::string& key, const std::string& name, LONG value) {
    if (!ValidText(key) || !ValidText(name)) {
        ReportDiagnostic(Severity::Error, "registry key and value names must be one line of text");
        return false;
    }
    std::string data = registry_detail::FormatDword(value);
    return Modify(FilePath(), [&](Document& doc) { return doc.SetValue(TrimKey(key), name, data); });
}

bool Registry::SetString(const std::string& key, const std::string& name, const std::string& value) {
    if (!ValidText(key) || !ValidText(name) || !ValidText(value)) {
        ReportDiagnostic(Severity::Error, "registry value " + TrimKey(key) + "\\" + name +
                                              " not written: names and strings must be one line of text");
        return false;
    }
    std::string data = registry_detail::FormatString(value);
    return Modify(FilePath(), [&](Document& doc) { return doc.SetValue(TrimKey(key), name, data); });
}

bool Registry::SetValues(const std::string& key, const std::vector<Value>& values) {
    if (!ValidText(key)) {
        ReportDiagnostic(Severity::Error, "registry key names must be one line of text");
        return false;
    }
    for (const Value& value : values) {
        if (!ValidText(value.name) || (value.text && !ValidText(*value.text))) {
            ReportDiagnostic(Severity::Error, "registry values of " + TrimKey(key) + " not written: " + value.name +
                                                  ": names and strings must be one line of text");
            return false;
        }
    }
    const std::string trimmed = TrimKey(key);
    const std::string folded = Fold(trimmed);
    return Modify(FilePath(), [&](Document& doc) {
        bool changed = doc.CreateKey(trimmed);
        for (const Value& value : values) {
            if (value.number)
                changed = doc.SetValue(trimmed, value.name, registry_detail::FormatDword(*value.number)) || changed;
            else if (value.text)
                changed = doc.SetValue(trimmed, value.name, registry_detail::FormatString(*value.text)) || changed;
            else
                changed = doc.DeleteValue(folded, Fold(value.name)) || changed;
        }
        return changed;
    });
}

bool Registry::CreateKey(const std::string& key) {
    if (!ValidText(key)) {
        ReportDiagnostic(Severity::Error, "registry key names must be one line of text");
        return false;
    }
    return Modify(FilePath(), [&](Document& doc) { return doc.CreateKey(TrimKey(key)); });
}

bool Registry::KeyExists(const std::string& key) const {
    return LoadForReading(FilePath()).KeyExists(Fold(TrimKey(key)));
}

bool Registry::DeleteKey(const std::string& key) {
    std::string folded = Fold(TrimKey(key));
    if (folded.empty()) {
        ReportDiagnostic(Severity::Error, "the root of the registry cannot be deleted");
        return false;
    }
    return Modify(FilePath(), [&](Document& doc) { return doc.DeleteKey(folded); });
}

bool Registry::DeleteValue(const std::string& key, const std::string& name) {
    std::string keyFolded = Fold(TrimKey(key));
    std::string nameFolded = Fold(name);
    return Modify(FilePath(), [&](Document& doc) { return doc.DeleteValue(keyFolded, nameFolded); });
}

std::vector<std::string> Registry::SubKeys(const std::string& key) const {
    return LoadForReading(FilePath()).SubKeys(Fold(TrimKey(key)));
}

std::vector<std::string> Registry::ValueNames(const std::string& key) const {
    return LoadForReading(FilePath()).ValueNames(Fold(TrimKey(key)));
}

}  // namespace qel::platform
