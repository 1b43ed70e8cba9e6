// The main of every test program: puts the process into its sandbox before
// the first test runs.
#include <gtest/gtest.h>

#include "support/Sandbox.h"

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
