// SPDX-License-Identifier: GPL-2.0-or-later
// tarnwick-cli run in process, with its output caught and a folder for its files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "scoped_environment.h"
#include "temporary_folder.h"

namespace tarnwick {

class CliTest : public ::testing::Test {
protected:
    // Times are shown in local time; the expected texts are in UTC.
    CliTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunCli(args, CliStreams{out_, err_, terminal_, terminal_});
    }

    [[nodiscard]] std::string Write(std::string_view name, std::string_view bytes) const {
        return folder_.write(name, bytes).string();
    }

    testing::TemporaryFolder folder_;
    // The runs the commands record go to the test's own history.
    testing::ScopedEnvironment dataHome_{"XDG_DATA_HOME", (folder_ / "data").c_str()};
    std::ostringstream out_;
    std::ostringstream err_;
    // Whether the command is told that both streams reach a terminal.
    bool terminal_ = false;
};

}  // namespace tarnwick
