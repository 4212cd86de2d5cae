// SPDX-License-Identifier: GPL-2.0-or-later
// The history command's own command line, and a history nothing was
// recorded in yet. What runs record is tested with the camera commands.
#include <gtest/gtest.h>

#include "cli_fixture.h"
#include "commands.h"

namespace tarnwick {
namespace {

TEST_F(CliTest, HistoryRefusesMalformedFiltersAndListsNothingBeforeTheFirstRun) {
    const std::vector<std::vector<std::string>> wrong = {
        {"history", "--since", "yesterday"}, {"history", "--since"},         {"history", "--port", "COMx"},
        {"history", "--json", "--csv"},      {"history", "--show", "0"},     {"history", "--show", "2", "--failed"},
        {"history", "--show", "2", "--csv"}, {"history", "--camera"},        {"history", "extra"},
    };
    for (const std::vector<std::string>& args : wrong) {
        EXPECT_EQ(Run(args), kExitUsage) << ::testing::PrintToString(args);
        EXPECT_EQ(err_.str(), "usage: tarnwick-cli " + std::string(kHistoryUsage) + "\n");
    }

    EXPECT_EQ(Run({"history", "--since", "2026-05-01", "--port", "/dev/ttyUSB0", "--failed", "--json"}),
              kExitSuccess);
    EXPECT_EQ(out_.str() + err_.str(), "");
    EXPECT_EQ(Run({"history", "--show", "4"}), kExitFailure);
    EXPECT_EQ(err_.str(), "tarnwick-cli: no run 4 in the history\n");

    const testing::ScopedEnvironment noHome("HOME", nullptr);
    const testing::ScopedEnvironment noDataHome("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(Run({"history"}), kExitFailure);
    EXPECT_EQ(err_.str(), "tarnwick-cli: no folder for the history (set HOME or XDG_DATA_HOME)\n");
}

}  // namespace
}  // namespace tarnwick
