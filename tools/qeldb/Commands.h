// The subcommands of the qeldb program; each returns the process exit code.
#pragma once

int RunSelfCheck();
