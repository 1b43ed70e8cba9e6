// The engines the end-to-end cases run on and the one rule for an engine
// that is missing here: PostgreSQL cases are skipped, naming the variables
// to set, when no server was started; under CI=true they fail instead, as
// the pipeline always starts one (scripts/test) and a silent skip there
// would hide half the suite.
//
//   INSTANTIATE_TEST_SUITE_P(Engines, MyTest, qel::test::BothEngines(), qel::test::EngineParamName);
//   void SetUp() override { QEL_REQUIRE_ENGINE(GetParam()); ... }
#pragma once

#include <string>

#include <gtest/gtest.h>

#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/Files.h"
#include "support/ScratchDatabase.h"

namespace qel::test {

inline auto BothEngines() { return ::testing::Values(qel::datasource::kEngineFile, qel::datasource::kEngineClientServer); }
// The same for the ODBC layer, which names engines by its own enum.
inline auto BothDriverEngines() { return ::testing::Values(qel::odbc::Engine::SQLite, qel::odbc::Engine::PostgreSQL); }

inline std::string EngineParamName(const ::testing::TestParamInfo<LONG>& info) { return EngineName(info.param); }
inline std::string DriverEngineParamName(const ::testing::TestParamInfo<qel::odbc::Engine>& info) {
    return EngineName(static_cast<LONG>(info.param));
}

inline bool UnderCi() { return Env("CI") == "true"; }

}  // namespace qel::test

// Ends the current test (SetUp or body) when the engine (LONG or
// qel::odbc::Engine) is missing here: a skip, or a failure under CI.
#define QEL_REQUIRE_ENGINE(engine)                                                                         \
    do {                                                                                                   \
        const std::string qel_missing_ = ::qel::test::EngineUnavailable(static_cast<LONG>(engine));        \
        if (!qel_missing_.empty() && ::qel::test::UnderCi()) GTEST_FAIL() << qel_missing_ << " (CI=true)"; \
        if (!qel_missing_.empty()) GTEST_SKIP() << qel_missing_;                                           \
    } while (false)
