// qeldb: the component's command-line program.
#include <cstdio>
#include <exception>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include <qel/BuildInfo.h>
#include <qel/qeldb.h>

int main(int argc, char** argv) {
    CLI::App app{"qeldb - database component of the Quorva dental imaging application"};
    app.set_version_flag("--version", fmt::format("qeldb {} (built {} UTC)", QEL_VERSION, QEL_BUILD_TIME));
    app.require_subcommand(0, 1);
    CLI11_PARSE(app, argc, argv);
    if (argc == 1) std::fputs(app.help().c_str(), stdout);
    return 0;
}
