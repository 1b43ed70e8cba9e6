// libFuzzer target for the registry file. Any bytes parse; a file that is
// not a registry file (or cannot be decoded losslessly) is never written by
// the Registry, and its bytes stay as they were. Any other file serializes
// back to its own bytes, and after one edit (a value set in a key of its
// own) the written file reparses to the same values, the edited one added,
// with every line it could not parse carried over byte for byte, in order.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <qel/platform/Diagnostics.h>
#include <qel/platform/Registry.h>
#include <qel/platform/RegistryDocumentInternal.h>

namespace {

using namespace qel::platform::registry_detail;

void Require(bool condition) {
    if (!condition) std::abort();
}

const std::string kProbeKey = "Software\\QelFuzz\\Probe";
const std::string kProbeName = "FuzzValue";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> UnparsedLines(const Document& doc) {
    std::vector<std::string> lines;
    for (const Line& line : doc.Lines())
        if (line.kind == LineKind::Unparsed) lines.emplace_back(line.text);
    return lines;
}

struct Value {
    std::string key;
    std::string name;
    ValueType type;
    std::uint32_t dword;
    std::string text;
};

// Every value reachable through the current user's keys, as a lookup sees it.
std::vector<Value> Values(const Document& doc) {
    std::vector<Value> values;
    for (const Line& section : doc.Lines()) {
        if (section.kind != LineKind::Section || !section.currentUser) continue;
        for (const std::string& name : doc.ValueNames(section.keyFolded)) {
            const Line* found = doc.FindValue(section.keyFolded, Fold(name));
            Require(found != nullptr);
            values.push_back({section.keyFolded, Fold(name), found->valueType, found->dwordValue,
                              found->valueType == ValueType::String ? found->StringValue() : std::string()});
        }
    }
    return values;
}

// One scratch file per fuzzing process, in TMPDIR, removed when it exits.
std::string ScratchPath() {
    const char* dir = std::getenv("TMPDIR");
    static std::string path = std::string(dir && *dir ? dir : "/tmp") + "/qel-registry-fuzz-" +
                              std::to_string(::getpid()) + ".reg";
    std::atexit([] { std::remove(path.c_str()); std::remove((path + ".lock").c_str()); });
    return path;
}

// The Registry itself, on a file holding these bytes, refuses to write.
void RequireRegistryRefuses(const std::uint8_t* data, std::size_t size) {
    static const std::string path = ScratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    qel::platform::Registry registry(path);
    Require(!registry.Problem().empty());
    Require(!registry.SetInt(kProbeKey, kProbeName, 7));
    Require(ReadFile(path) == std::string(reinterpret_cast<const char*>(data), size));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qel::platform::SetDiagnosticSink([](qel::platform::Severity, const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Document doc = Document::Parse(bytes, "fuzz.reg");
    if (!doc.Writable()) {
        RequireRegistryRefuses(data, size);
        return 0;
    }
    const std::optional<std::string> same = doc.Serialize();
    Require(same && *same == bytes);

    const std::vector<std::string> unparsed = UnparsedLines(doc);
    const std::vector<Value> before = Values(doc);
    const std::string probeKey = Fold(kProbeKey);
    const std::string probeName = Fold(kProbeName);
    Require(doc.SetValue(kProbeKey, kProbeName, FormatDword(7)) || doc.FindValue(probeKey, probeName) != nullptr);
    const std::optional<std::string> written = doc.Serialize();
    Require(written.has_value());

    Document again = Document::Parse(*written, "fuzz-written.reg");
    Require(again.Writable());
    Require(UnparsedLines(again) == unparsed);
    const Line* probe = again.FindValue(probeKey, probeName);
    Require(probe != nullptr && probe->valueType == ValueType::Dword && probe->dwordValue == 7);
    for (const Value& value : before) {
        if (value.key == probeKey && value.name == probeName) continue;
        const Line* found = again.FindValue(value.key, value.name);
        Require(found != nullptr && found->valueType == value.type);
        if (value.type == ValueType::Dword) Require(found->dwordValue == value.dword);
        if (value.type == ValueType::String) Require(found->StringValue() == value.text);
    }
    return 0;
}
