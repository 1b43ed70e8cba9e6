// The main of every test program: puts the process into its sandbox before
// the first test runs.
#include <gtest/gtest.h>

#include "support/Sandbox.h"

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
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);
    return RUN_ALL_TESTS();
}
