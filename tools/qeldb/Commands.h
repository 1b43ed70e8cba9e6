// The subcommands of the qeldb program. Each Add…Command function adds its
// subcommand(s) to the program; when a subcommand runs, its callback stores
// the process exit code in `exitCode` (one of ExitCodes.h). One file per
// command family keeps main.cpp a list.
#pragma once

#include <CLI/CLI.hpp>

void AddSelfCheckCommand(CLI::App& app, int& exitCode);
void AddScriptCommands(CLI::App& app, int& exitCode);
void AddProfileCommand(CLI::App& app, int& exitCode);
void AddPatientsCommand(CLI::App& app, int& exitCode);
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddBackupCommands(CLI::App& app, int& exitCode);
void AddMembersCommand(CLI::App& app, int& exitCode);
void AddDemoCommand(CLI::App& app, int& exitCode);
