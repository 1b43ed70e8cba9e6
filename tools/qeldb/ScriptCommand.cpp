// `qeldb register` and `qeldb script`: the component seen from a late-bound
// automation client. The script creates "QEL.Database" by ProgID (registry
// lookup, dlopen of the registered library, class factory) and runs one
// call per line by member name; docs/cli.md describes the syntax.
#include "tools/qeldb/Commands.h"
#include "tools/qeldb/Json.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <fmt/core.h>

#include <qel/frame/EntryPoints.h>
#include <qel/outside/Log.h>
#include <qel/platform/ComActivation.h>
#include <qel/platform/ComPtr.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/DispatchErrorText.h>
#include <qel/platform/DispatchMembers.h>
#include <qel/platform/DispatchTable.h>
#include <qel/platform/OleDate.h>
#include <qel/platform/Registry.h>

#include "tools/qeldb/Failure.h"
#include "tools/qeldb/ScriptLine.h"

using qel::platform::Variant;

namespace {

// --- Output ------------------------------------------------------------------

std::string DateText(DATE date) {
    qel::platform::DateParts parts;
    if (!qel::platform::PartsFromDate(date, &parts)) return fmt::format("{}", date);
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", parts.year, parts.month, parts.day, parts.hour,
                       parts.minute, parts.second);
}

// A value as JSON, or as text for people.
std::string Show(const Variant& value, bool json) {
    switch (value.Type()) {
        case VT_EMPTY: return json ? "null" : "(nothing)";
        case VT_BOOL: {
            BOOL b = FALSE;
            value.ToBool(&b);
            return json ? (b ? "true" : "false") : (b ? "True" : "False");
        }
        case VT_I2:
        case VT_I4: {
            LONG n = 0;
            value.ToLong(&n);
            return std::to_string(n);
        }
        case VT_DATE: return json ? JsonString(DateText(value.Raw().date)) : DateText(value.Raw().date);
        case VT_BSTR: {
            std::string text;
            value.ToString(&text);
            return json ? JsonString(text) : "\"" + text + "\"";
        }
        case VT_DISPATCH: return json ? (value.GetDispatch() ? "\"(object)\"" : "null") : (value.GetDispatch() ? "(object)" : "(none)");
        default: return json ? "null" : "(?)";
    }
}

std::string HresultText(HRESULT hr) {
    const std::string text = qel::platform::DispatchErrorText(hr);
    return !text.empty() ? text : fmt::format("call failed (HRESULT 0x{:08X})", static_cast<unsigned>(hr));
}

// --- The callback object that prints notifications ---------------------------

class PrintingCallback final : public qel::platform::DispatchObject<PrintingCallback> {
public:
    explicit PrintingCallback(bool json) : m_json(json) {}

    const qel::platform::DispatchTable<PrintingCallback>& Table() const {
        using DT = qel::platform::DispatchTable<PrintingCallback>;
        using VT = qel::platform::DispType;
        static const DT table({
            DT::Method<&PrintingCallback::OnMessage, VT::Bool, VT::Long, VT::Long, VT::Long, VT::Long>("OnMessage", 1),
            DT::ReadOnly<&PrintingCallback::GetLErrorCode, VT::Long>("lErrorCode", 2),
            DT::ReadOnly<&PrintingCallback::GetStrError, VT::String>("strError", 3),
        });
        return table;
    }

private:
    BOOL OnMessage(LONG type, LONG p1, LONG p2, LONG p3) {
        if (m_json) {
            std::printf("{\"notification\":%d,\"p1\":%d,\"p2\":%d,\"p3\":%d}\n", type, p1, p2, p3);
        } else {
            std::printf("  notification %d (%d, %d, %d)\n", type, p1, p2, p3);
        }
        std::fflush(stdout);
        return TRUE;
    }
    // Printing never fails.
    LONG GetLErrorCode() { return 0; }
    std::string GetStrError() { return {}; }

    bool m_json;
};

// --- Running -----------------------------------------------------------------------

class ScriptRunner {
public:
    ScriptRunner(IDispatch* object, bool json) : m_object(object), m_json(json) {}

    // Runs one line; false when it could not be parsed or called.
    bool Run(const std::string& text) {
        std::string error;
        std::optional<ScriptLine> line = ParseScriptLine(text, &error);
        if (!line) return Fail(text, error);

        DISPID dispId = DISPID_UNKNOWN;
        HRESULT hr = qel::platform::GetDispatchID(m_object, line->name, &dispId);
        if (FAILED(hr)) return Fail(line->name, HresultText(hr));

        Variant result;
        std::vector<LONG> outs;
        if (line->put) {
            hr = qel::platform::InvokeByID(m_object, dispId, DISPATCH_PROPERTYPUT, line->args, nullptr);
        } else {
            hr = CallWithOutParameters(dispId, *line, &result, &outs);
        }
        if (FAILED(hr)) return Fail(line->name, HresultText(hr));
        Print(*line, result, outs);
        return true;
    }

private:
    // The long* out-parameters are left out of the line. The object's own
    // description says where they go; they are supplied only when the line
    // gives exactly the other arguments, so any other count reaches the
    // member as written and is answered as the member answers it.
    HRESULT CallWithOutParameters(DISPID dispId, const ScriptLine& line, Variant* result, std::vector<LONG>* outs) {
        const std::optional<std::vector<bool>> outSlots = DescribedOutSlots(dispId);
        if (!outSlots) return GuessOutParameters(dispId, line, result, outs);
        const auto outCount = static_cast<size_t>(std::count(outSlots->begin(), outSlots->end(), true));
        const bool supply = outCount > 0 && outSlots->size() - outCount == line.args.size();
        outs->assign(supply ? outCount : 0, 0);
        std::vector<Variant> args;
        if (supply) {
            size_t given = 0, out = 0;
            for (bool isOut : *outSlots) args.push_back(isOut ? Variant::ByRef(&(*outs)[out++]) : line.args[given++]);
        } else {
            args = line.args;
        }
        const HRESULT hr = qel::platform::InvokeByID(m_object, dispId, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args,
                                                     result);
        if (FAILED(hr)) outs->clear();
        return hr;
    }

    // Which parameters of a member are out-parameters (none for a
    // property); nullopt when the object does not describe the member.
    std::optional<std::vector<bool>> DescribedOutSlots(DISPID dispId) {
        const auto members = qel::platform::DescribedMembers(m_object);
        if (!members) return std::nullopt;
        for (const DispatchMemberInfo& info : *members) {
            if (info.dispId != dispId) continue;
            std::vector<bool> slots;
            for (UINT p = 0; p < info.parameterCount; ++p)
                slots.push_back(info.parameters[p] == qel::platform::DispType::LongOut);
            return slots;
        }
        return std::nullopt;
    }

    // An object that does not describe itself: a call the member refuses for
    // its number of arguments is tried again with one more by-reference
    // integer, up to the most any member takes.
    HRESULT GuessOutParameters(DISPID dispId, const ScriptLine& line, Variant* result, std::vector<LONG>* outs) {
        constexpr size_t kMostOuts = 2;
        const WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        HRESULT first = S_OK;
        for (size_t extra = 0; extra <= kMostOuts; ++extra) {
            outs->assign(extra, 0);
            std::vector<Variant> args = line.args;
            for (LONG& out : *outs) args.push_back(Variant::ByRef(&out));
            const HRESULT hr = qel::platform::InvokeByID(m_object, dispId, flags, args, result);
            if (extra == 0) first = hr;
            if (hr != DISP_E_BADPARAMCOUNT) {
                // Any other answer means the count fits: it is the answer.
                if (FAILED(hr)) outs->clear();
                return hr;
            }
        }
        outs->clear();
        return first;
    }

    void ReadErrorState(LONG* code, std::string* text) {
        Variant value;
        *code = 0;
        text->clear();
        if (SUCCEEDED(qel::platform::GetProperty(m_object, "lErrorCode", &value))) value.ToLong(code);
        if (SUCCEEDED(qel::platform::GetProperty(m_object, "strError", &value))) value.ToString(text);
    }

    void Print(const ScriptLine& line, const Variant& result, const std::vector<LONG>& outs) {
        LONG code = 0;
        std::string text;
        ReadErrorState(&code, &text);
        std::string outList;
        for (size_t i = 0; i < outs.size(); ++i) outList += (i > 0 ? "," : "") + std::to_string(outs[i]);
        if (m_json) {
            std::printf("{\"call\":%s,\"result\":%s,\"out\":[%s],\"lErrorCode\":%d,\"strError\":%s}\n",
                        JsonString(line.name).c_str(), line.put ? "null" : Show(result, true).c_str(),
                        outList.c_str(), code, JsonString(text).c_str());
        } else {
            std::string shown = line.put ? "set" : Show(result, false);
            if (!outs.empty()) shown += "  out: " + outList;
            shown += fmt::format("  lErrorCode: {}", code);
            if (!text.empty()) shown += "  strError: " + text;
            std::printf("%s -> %s\n", line.name.c_str(), shown.c_str());
        }
        std::fflush(stdout);
    }

    bool Fail(const std::string& call, const std::string& why) {
        if (m_json) {
            std::printf("{\"call\":%s,\"error\":%s}\n", JsonString(call).c_str(), JsonString(why).c_str());
        } else {
            std::printf("%s -> error: %s\n", call.c_str(), why.c_str());
        }
        std::fflush(stdout);
        return false;
    }

    IDispatch* m_object;
    bool m_json;
};

int RunScript(const std::string& file, bool json) {
    std::ifstream stream;
    std::istream* in = &std::cin;
    if (!file.empty() && file != "-") {
        // A folder opens as a stream that reads nothing: it would run as an
        // empty script and succeed.
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec)) {
            std::fprintf(stderr, "qeldb script: %s is a folder, not a script file\n", file.c_str());
            return 1;
        }
        stream.open(file);
        if (!stream) {
            std::fprintf(stderr, "qeldb script: cannot read %s: %s\n", file.c_str(), std::strerror(errno));
            return 1;
        }
        in = &stream;
    }

    CLSID clsid{};
    if (FAILED(CLSIDFromProgID("QEL.Database", &clsid))) {
        std::fprintf(stderr, "qeldb script: \"QEL.Database\" is not registered in %s; run `qeldb register` first\n",
                     qel::platform::Registry::CurrentUser().FilePath().c_str());
        return 1;
    }
    IDispatch* raw = nullptr;
    const HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&raw));
    if (FAILED(hr)) {
        std::fprintf(stderr, "qeldb script: cannot create \"QEL.Database\" (HRESULT 0x%08X)\n",
                     static_cast<unsigned>(hr));
        return 1;
    }
    auto object = qel::platform::ComPtr<IDispatch>::Adopt(raw);

    auto* callback = new PrintingCallback(json);
    const HRESULT attached = qel::platform::PutProperty(object.Get(), "objDatabaseCallback", Variant(callback));
    callback->Release();  // the database object holds its own reference now
    if (FAILED(attached)) std::fprintf(stderr, "qeldb script: the callback object could not be attached\n");

    ScriptRunner runner(object.Get(), json);
    bool allRan = true;
    for (std::string text; std::getline(*in, text);) {
        if (!IsScriptCall(text)) continue;
        allRan = runner.Run(text) && allRan;
    }
    qel::platform::PutProperty(object.Get(), "objDatabaseCallback", Variant(static_cast<IDispatch*>(nullptr)));
    return allRan ? 0 : 1;
}

}  // namespace

void AddScriptCommands(CLI::App& app, int& exitCode) {
    app.add_subcommand("register",
                       "Register the component's classes (\"QEL.Database\", ...) and library path in the registry file")
        ->callback([&exitCode] {
            // A file that is not a registry file is never written into; say
            // so rather than only that the write failed.
            if (const std::string problem = qel::platform::Registry::CurrentUser().Problem(); !problem.empty()) {
                std::fprintf(stderr, "qeldb register: %s\n", problem.c_str());
                exitCode = 1;
                return;
            }
            qel::outside::ForgetFailureCause();
            const HRESULT hr = DllRegisterServer();
            CLSID clsid{};
            if (FAILED(hr) || FAILED(CLSIDFromProgID("QEL.Database", &clsid))) {
                PrintFailure(stderr, fmt::format("qeldb register: the registry file {} could not be written",
                                                 qel::platform::Registry::CurrentUser().FilePath()));
                exitCode = 1;
                return;
            }
            std::printf("registered \"QEL.Database\" -> %s\n  in %s\n", qel::platform::InprocServerPath(clsid).c_str(),
                        qel::platform::Registry::CurrentUser().FilePath().c_str());
        });

    auto* script = app.add_subcommand(
        "script", "Drive \"QEL.Database\" by member names, one call per line (FILE, or - / nothing for stdin)");
    static std::string file;
    static bool json = false;
    script->add_option("file", file, "Script file; - or nothing reads standard input");
    script->add_flag("--json", json, "Print one JSON object per call and notification");
    script->callback([&exitCode] { exitCode = RunScript(file, json); });
}
