// The main of every test program: puts the process into its sandbox before
// the first test runs, and makes a scratch database that cannot be dropped a
// test failure. Started with --workstation, the program is a simulated
// workstation instead (support/WorkstationShell.h): it runs no test and keeps
// the environment its starter gave it.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>

#include "support/Sandbox.h"
#include "support/ScratchDatabase.h"
#include "support/WorkstationShell.h"

#if defined(__SANITIZE_ADDRESS__)
// Under the sanitizers, libraries the ODBC driver manager unloads stay
// loaded: a leak inside an unloaded driver is reported without a module
// name, so the suppressions for the drivers could not match it.
extern "C" int dlclose(void*) { return 0; }
#endif

namespace {

class SandboxEnvironment : public ::testing::Environment {
public:
    void SetUp() override { qel::test::Sandbox::Current(); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], qel::test::kWorkstationFlag) == 0)
        return qel::test::RunWorkstationShell(std::cin, std::cout);
    ::testing::InitGoogleTest(&argc, argv);
    qel::test::ScratchDatabase::ReportDropFailure = [](const std::string& what) { ADD_FAILURE() << what; };
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);
    return RUN_ALL_TESTS();
}
