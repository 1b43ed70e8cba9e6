// Every test process runs in its own sandbox: a temporary folder that holds
// the registry file, the log, the runtime folder of the named mutexes, the
// ODBC ini files (ODBCINI and ODBCSYSINI, with a copy of the system's driver
// list) and any database files the test makes. The test main creates it
// before the first test and removes it at exit (kept when QEL_KEEP_SANDBOX is
// set, for post-mortems).
#pragma once

#include <string>

namespace qel::test {

class Sandbox {
public:
    // The sandbox of this process (created by the test main).
    static Sandbox& Current();

    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Root() const { return m_root; }
    // A path inside the sandbox (folders are not created).
    std::string Path(const std::string& relative) const;
    std::string RegistryFile() const { return Path("registry.reg"); }
    std::string OdbcIni() const { return Path("odbc/odbc.ini"); }

private:
    std::string m_root;
};

// Copies the system's driver list (/etc/odbcinst.ini) to `destination` with
// psqlODBC's own logs off: Debian's list turns its CommLog on, which would
// leave a file in /tmp for every test process.
void CopyDriverList(const std::string& destination);

// The folder of the test programs' helper files in the source tree.
std::string SourcePath(const std::string& relative);
// A file of the build tree (the qeldb program, the default layouts).
std::string BinaryPath(const std::string& relative);

}  // namespace qel::test
