// --version and --help of the programs, and of each command of tarnwick-cli.
#include <gtest/gtest.h>

#include <sstream>

#include "cli_fixture.h"
#include "mkpkg_command.h"
#include "tarnwick_version.h"

namespace tarnwick {
namespace {

using VersionAndHelpTest = CliTest;

TEST_F(VersionAndHelpTest, VersionNamesTheProgram) {
    ASSERT_EQ(Run({"--version"}), kExitSuccess);
    EXPECT_EQ(out_.str(), "tarnwick-cli " + std::string(kProductVersion) + "\n");

    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunMkpkg(std::vector<std::string>{"--version"}, out, err), 0);
    EXPECT_EQ(out.str(), "tarnwick-mkpkg " + std::string(kProductVersion) + "\n");
    ASSERT_EQ(RunMkpkg(std::vector<std::string>{"out.xml", "--help"}, out, err), 0);
    EXPECT_NE(out.str().find("--item-version MAJOR.MINOR"), std::string::npos) << out.str();
    EXPECT_TRUE(err.str().empty()) << err.str();
}

TEST_F(VersionAndHelpTest, EveryCommandExplainsItselfWithoutRunning) {
    const struct {
        std::vector<std::string> args;
        std::string_view usage;
    } rows[] = {
        {{"inspect", "--help"}, "usage: tarnwick-cli inspect (PACKAGE.xml"},
        {{"identify", "-h"}, "usage: tarnwick-cli identify FIRMWARE-FILE"},
        {{"ports", "--help"}, "usage: tarnwick-cli ports"},
        {{"info", "--port", "x", "--help"}, "usage: tarnwick-cli info [--port N|DEVICE]"},
        {{"update", "missing.xml", "--help"}, "usage: tarnwick-cli update PACKAGE.xml"},
        {{"program", "--help"}, "usage: tarnwick-cli program PACKAGE.xml --item TYPENAME"},
        {{"erase", "--help"}, "usage: tarnwick-cli erase PACKAGE.xml --item TYPENAME"},
        {{"check", "--help"}, "usage: tarnwick-cli check PACKAGE.xml --item TYPENAME"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.args), kExitSuccess) << row.args[0];
        EXPECT_TRUE(out_.str().starts_with(row.usage)) << out_.str();
        EXPECT_TRUE(err_.str().empty()) << err_.str();
    }
    Run({"update", "--help"});
    EXPECT_NE(out_.str().find("--json"), std::string::npos) << out_.str();
}

}  // namespace
}  // namespace tarnwick
