// What the programs say about their own command lines.
#include <gtest/gtest.h>

#include <sstream>

#include "cli_fixture.h"
#include "mkpkg_command.h"
#include "tarnwick_version.h"

namespace tarnwick {
namespace {

using CliCommandLineTest = CliTest;

TEST_F(CliCommandLineTest, VersionNamesTheProgram) {
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

// Help anywhere among a command's arguments explains it on standard output
// without running it; a wrong command line shows its usage as an error.
TEST_F(CliCommandLineTest, HelpExplainsACommandAndWrongCommandLinesShowTheirUsage) {
    constexpr std::string_view kInspect = "usage: tarnwick-cli inspect PACKAGE.xml";
    constexpr std::string_view kList = "usage: tarnwick-cli inspect --list LIST.xml";
    constexpr std::string_view kIdentify = "usage: tarnwick-cli identify FIRMWARE-FILE";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string_view text;
    } rows[] = {
        {{"inspect", "--help"}, kExitSuccess, "usage: tarnwick-cli inspect (PACKAGE.xml"},
        {{"identify", "-h"}, kExitSuccess, kIdentify},
        {{"ports", "--help"}, kExitSuccess, "usage: tarnwick-cli ports"},
        {{"info", "--port", "x", "--help"}, kExitSuccess, "usage: tarnwick-cli info [--port N|DEVICE]"},
        {{"update", "missing.xml", "--help"}, kExitSuccess, "usage: tarnwick-cli update PACKAGE.xml"},
        {{"program", "--help"}, kExitSuccess, "usage: tarnwick-cli program PACKAGE.xml --item TYPENAME"},
        {{"erase", "--help"}, kExitSuccess, "usage: tarnwick-cli erase PACKAGE.xml --item TYPENAME"},
        {{"check", "--help"}, kExitSuccess, "usage: tarnwick-cli check PACKAGE.xml --item TYPENAME"},
        {{}, kExitUsage, "usage:\n"},
        {{"frobnicate"}, kExitUsage, "unknown command 'frobnicate'"},
        {{"identify"}, kExitUsage, kIdentify},
        {{"identify", "a.bin", "b.bin"}, kExitUsage, kIdentify},
        {{"identify", "--json"}, kExitUsage, kIdentify},
        {{"inspect"}, kExitUsage, kInspect},
        {{"inspect", "a.xml", "--bogus"}, kExitUsage, kInspect},
        {{"inspect", "--list"}, kExitUsage, kList},
        {{"inspect", "--list", "a.xml", "--json"}, kExitUsage, kList},
        {{"inspect", "--list", "--list"}, kExitUsage, kList},
        {{"inspect", "--list", "a.xml", "b.xml"}, kExitUsage, kList},
        {{"program", "package.xml"}, kExitUsage, "usage: tarnwick-cli program PACKAGE.xml --item TYPENAME"},
        {{"erase", "package.xml", "--item", "Corvel::uC", "--skip-verify"}, kExitUsage, "usage: tarnwick-cli erase"},
    };
    for (const auto& row : rows) {
        const std::string args = ::testing::PrintToString(row.args);
        EXPECT_EQ(Run(row.args), row.status) << args;
        const bool help = row.status == kExitSuccess;
        EXPECT_NE((help ? out_ : err_).str().find(row.text), std::string::npos) << args << err_.str();
        EXPECT_TRUE((help ? err_ : out_).str().empty()) << args;
    }
    Run({"update", "--help"});
    EXPECT_NE(out_.str().find("--json"), std::string::npos) << out_.str();
}

}  // namespace
}  // namespace tarnwick
