// Simulated workstations: each is a separate process with its own machine
// state (registry file, runtime folder of the named mutexes, log folder and
// ODBC ini files), all reaching one shared database, as the computers of a
// clinic do.
//
//   Workstation ws(root, "ws1");                  // creates root/ws1/...
//   ws.AddClientServerDataSource("Clinic", "clinic");   // PostgreSQL only
//   WorkstationProcess p = ws.Start(program, {"--workstation"});
//   p.Send("open 1 Clinic clinic");               // "ok 1000"
//   p.Send("keys 4 500");                         // "ok 1 2 3 ..."
//
// The process runs the workstation shell (WorkstationShell.h): one command
// line in on its standard input, one answer line out on its standard output.
// Closing the standard input ends it. Used by the workstation tests and the
// benchmarks (from the test support's core).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/ScratchDatabase.h"

namespace qel::test {

class WorkstationProcess;

class Workstation {
public:
    // Creates the machine's folders below `root` and its driver list.
    Workstation(const std::filesystem::path& root, const std::string& name);

    const std::string& Name() const { return m_name; }
    const std::filesystem::path& Folder() const { return m_folder; }
    std::filesystem::path OdbcIni() const { return m_folder / "odbc/odbc.ini"; }

    // A variable for the processes started from now on (besides the
    // machine's own, which point into its folder).
    void SetVariable(const std::string& name, const std::string& value);
    // Lets this machine share another's runtime folder: the two are then one
    // computer as far as the named mutexes go.
    void ShareRuntimeFolderOf(const Workstation& other);

    // A PostgreSQL user data source in this machine's odbc.ini (below).
    void AddClientServerDataSource(const std::string& dsn, const std::string& database) const {
        qel::test::AddClientServerDataSource(OdbcIni(), dsn, database);
    }

    // Starts `program` with `arguments` in this machine's environment.
    WorkstationProcess Start(const std::string& program, const std::vector<std::string>& arguments) const;

private:
    std::vector<std::string> Environment() const;

    std::string m_name;
    std::filesystem::path m_folder;
    std::vector<std::pair<std::string, std::string>> m_variables;
};

// A running workstation: its pid and the pipes to its shell. The destructor
// closes the shell's input and reaps the process (killing it when it does
// not end within the answer timeout).
class WorkstationProcess {
public:
    WorkstationProcess(pid_t pid, int input, int output);
    WorkstationProcess(WorkstationProcess&& other) noexcept;
    WorkstationProcess& operator=(WorkstationProcess&&) = delete;
    WorkstationProcess(const WorkstationProcess&) = delete;
    WorkstationProcess& operator=(const WorkstationProcess&) = delete;
    ~WorkstationProcess();

    // Sends one command line without waiting for its answer.
    void Post(const std::string& command);
    // The next answer line; throws std::runtime_error when none arrives
    // within the timeout or the process has ended.
    std::string Receive();
    std::string Send(const std::string& command) {
        Post(command);
        return Receive();
    }

    // The process id, for signalling it (-1 once it was reaped).
    pid_t Pid() const { return m_pid; }

    // Closes the input and waits for the exit; the exit code, or -1 when
    // the process did not end normally.
    int Finish();

private:
    void CloseInput();

    pid_t m_pid;
    int m_input;
    int m_output;
    std::string m_buffer;
    // How long an answer or the exit may take.
    static constexpr std::chrono::seconds kTimeout{300};
};

// The words of an answer line ("ok 1 2 3" gives {"ok", "1", "2", "3"}).
std::vector<std::string> Words(const std::string& line);

}  // namespace qel::test
