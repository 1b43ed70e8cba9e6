// qeldb: the component's command-line program.
#include <cstdio>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include <qel/BuildInfo.h>

#include "tools/qeldb/Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"qeldb - database component of the Quorva dental imaging application"};
    app.set_version_flag("--version", fmt::format("qeldb {} (built {} UTC)", QEL_VERSION, QEL_BUILD_TIME));
    app.require_subcommand(0, 1);

    int exitCode = 0;
    AddSelfCheckCommand(app, exitCode);
    AddScriptCommands(app, exitCode);
    AddProfileCommand(app, exitCode);
    AddPatientsCommand(app, exitCode);
    AddDemoCommand(app, exitCode);

    CLI11_PARSE(app, argc, argv);
    if (app.get_subcommands().empty()) std::fputs(app.help().c_str(), stdout);
    return exitCode;
}
