#include <qel/outside/Wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <qel/platform/Diagnostics.h>

using namespace std::chrono;

namespace {

class WaitTest : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("QEL_WAIT_SCALE"); }
    void TearDown() override { unsetenv("QEL_WAIT_SCALE"); }
};

// Generous: only catches a pause that should not have happened at all.
constexpr auto kPrompt = seconds(5);

template <typename F>
steady_clock::duration Timed(F f) {
    const auto start = steady_clock::now();
    f();
    return steady_clock::now() - start;
}

}  // namespace

TEST_F(WaitTest, SecondsAreScaledByTheEnvironment) {
    EXPECT_EQ(CWait(1.5).Duration(), milliseconds(1500));
    setenv("QEL_WAIT_SCALE", "0.5", 1);
    EXPECT_EQ(CWait(2.0).Duration(), seconds(1));
    setenv("QEL_WAIT_SCALE", "0", 1);
    EXPECT_EQ(CWait(1.0).Duration(), nanoseconds::zero());
    EXPECT_LT(Timed([] { CWait(1000.0).Wait(); }), kPrompt);
}

TEST_F(WaitTest, UnusableValuesGiveNoPauseOrTheDefaultScale) {
    EXPECT_EQ(CWait(-3.0).Duration(), nanoseconds::zero());
    EXPECT_EQ(CWait(std::nan("")).Duration(), nanoseconds::zero());
    EXPECT_EQ(CWait(0.0).Duration(), nanoseconds::zero());
    EXPECT_LT(Timed([] { CWait(-1000.0).Wait(); }), kPrompt);
    EXPECT_EQ(CWait(std::numeric_limits<double>::infinity()).Duration(), hours(1));

    qel::platform::SetDiagnosticSink([](qel::platform::Severity, const std::string&) {});
    for (const char* bad : {"abc", "-2", "nan", "1x"}) {
        setenv("QEL_WAIT_SCALE", bad, 1);
        EXPECT_EQ(CWait(2.0).Duration(), seconds(2)) << bad;
    }
    qel::platform::SetDiagnosticSink({});
}

TEST_F(WaitTest, WaitSleepsAtLeastTheScaledPause) {
    setenv("QEL_WAIT_SCALE", "0.02", 1);
    EXPECT_GE(Timed([] { CWait(1.0).Wait(); }), milliseconds(20));
}
