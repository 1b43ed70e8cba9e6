// `qeldb members`: the automation face of "QEL.Database" as a reference
// table (name, dispatch number, kind, argument types, result), printed from
// the component's own dispatch table so that docs/members.md can be checked
// against it.
#include "tools/qeldb/Commands.h"

#include <cstdio>
#include <string>

#include <fmt/core.h>

#include <qel/frame/DatabaseDispatch.h>

#include "tools/qeldb/ExitCodes.h"

namespace {

std::string Join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : ", ") + part;
    return out;
}

std::string MembersTable() {
    std::string out = "| Member | DISPID | Kind | Arguments | Result |\n|---|---|---|---|---|\n";
    for (const CDatabaseDispatch::Member& member : CDatabaseDispatch::Members()) {
        const std::string arguments = member.property ? "—" : member.parameters.empty() ? "none" : Join(member.parameters);
        out += fmt::format("| `{}` | {} | {} | {} | {} |\n", member.name, member.dispId,
                           member.property ? "property" : "method", arguments, member.type);
    }
    return out;
}

}  // namespace

void AddMembersCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("members", "Print the members of \"QEL.Database\" a script or client can call, with their "
                                  "dispatch numbers and types (a Markdown table)")
        ->callback([&exitCode] {
            std::fputs(MembersTable().c_str(), stdout);
            exitCode = exit_code::kOk;
        });
}
