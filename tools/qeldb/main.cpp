// qeldb: the component's command-line program.
#include <cstdio>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include <qel/BuildInfo.h>

#include "tools/qeldb/Commands.h"
#include "tools/qeldb/ExitCodes.h"

int main(int argc, char** argv) {
    CLI::App app{"qeldb - database component of the Quorva dental imaging application"};
    app.set_version_flag("--version", fmt::format("qeldb {} (built {} UTC)", QEL_VERSION, QEL_BUILD_TIME));
    app.require_subcommand(0, 1);

    int exitCode = 0;
    AddSelfCheckCommand(app, exitCode);
    AddScriptCommands(app, exitCode);
    AddProfileCommand(app, exitCode);
    AddPatientsCommand(app, exitCode);
    AddInfoCommand(app, exitCode);
    AddBackupCommands(app, exitCode);
    AddMembersCommand(app, exitCode);
    AddDemoCommand(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // CLI11 prints the reason and a hint; every usage error shares one code.
        app.exit(e);
        return exit_code::kUsage;
    }
    if (app.get_subcommands().empty()) {
        std::fputs(app.help().c_str(), stderr);
        return exit_code::kUsage;
    }
    return exitCode;
}
