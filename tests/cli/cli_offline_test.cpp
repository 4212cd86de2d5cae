// SPDX-License-Identifier: GPL-2.0-or-later
// What the programs say without a camera: about their own command lines, and
// from the commands that read files only (inspect, inspect --list and
// identify); and how text from cameras and files is shown on a terminal.
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>

#include "cli_fixture.h"
#include "guid.h"
#include "mkpkg_command.h"
#include "package_writer.h"
#include "tarnwick_version.h"
#include "terminal_text.h"
#include "unique_fd.h"

namespace tarnwick {
namespace {

class CliOfflineTest : public CliTest {
protected:
    std::string WritePackage(const std::string& text) const { return Write("package.xml", text); }
    std::string WritePackage() const { return WritePackage(BuildPackageText(contents_)); }
    // An empty folder to extract into.
    std::filesystem::path Target() const {
        std::filesystem::create_directory(folder_ / "out");
        return folder_ / "out";
    }

    PackageContents contents_{
        "Corvel 2.01",
        1160000000,
        {{*ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"), "corvel_uc.bin", 1, 513, 1159990000,
          std::vector<std::uint8_t>(9000, 0x31)},
         {*ParseGuid("{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}"), "../../escape.rbf", 77, 0x010A, 0,
          std::vector<std::uint8_t>(700, 0x75)}}};
};

TEST_F(CliOfflineTest, VersionNamesTheProgram) {
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
TEST_F(CliOfflineTest, HelpExplainsACommandAndWrongCommandLinesShowTheirUsage) {
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

TEST(TerminalText, ControlsAndBrokenUtf8AreEscapedOnlyForATerminal) {
    const struct {
        std::string_view text;
        std::string_view shown;
    } rows[] = {
        {"Corvel 2.01 <uC> & FPGA", "Corvel 2.01 <uC> & FPGA"},
        {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"a\tb\r\nc\x7f", "a\\x09b\\x0D\\x0Ac\\x7F"},
        {std::string_view("nul\0end", 7), "nul\\x00end"},
        {"C:\\fw\\x41.bin", "C:\\\\fw\\\\x41.bin"},
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x93\xb7", "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x93\xb7"},
        {"csi\xc2\x9b" "2J", "csi\\xC2\\x9B2J"},
        {"latin1 M\xfcller \x9b", "latin1 M\\xFCller \\x9B"},
        {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
        {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
        {"cut \xe2\x82", "cut \\xE2\\x82"},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(printable(row.text, true), row.shown) << row.text;
        EXPECT_EQ(printable(row.text, false), row.text) << row.text;
    }
}

TEST_F(CliOfflineTest, InspectListsWhatWentIntoThePackage) {
    ASSERT_EQ(Run({"inspect", WritePackage()}), kExitSuccess) << err_.str();
    const std::string out = out_.str();
    for (const char* expected : {"Package: Corvel 2.01", "Version:     2.01", "Size:        9000",
                                 "Time:        04.10.2006 - 19:26:40", "2. Corvel::FPGA", "Camera type: 77\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_TRUE(err_.str().empty());

    EXPECT_EQ(Run({"inspect", (folder_ / "missing.xml").string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Can't read package file"), std::string::npos) << err_.str();
}

TEST_F(CliOfflineTest, InspectJsonHoldsTheSameAsOneObject) {
    ASSERT_EQ(Run({"inspect", WritePackage(), "--json"}), kExitSuccess) << err_.str();
    const auto json = nlohmann::json::parse(out_.str());
    EXPECT_EQ(json["name"], "Corvel 2.01");
    ASSERT_EQ(json["items"].size(), 2u);
    EXPECT_EQ(json["items"][0], nlohmann::json::parse(R"({"typeName": "Corvel::uC",
        "guid": "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}", "fileName": "corvel_uc.bin", "cameraType": 1,
        "cameraModel": "Corvel1b", "version": "2.01", "size": 9000, "time": "04.10.2006 - 19:26:40"})"));
    EXPECT_TRUE(json["items"][1]["cameraModel"].is_null());
}

TEST_F(CliOfflineTest, ExtractWritesTheOriginalBytesInsideTheFolderAndGoesOnPastAFailure) {
    const std::filesystem::path target = Target();
    ASSERT_EQ(Run({"inspect", WritePackage(), "--extract", target.string()}), kExitSuccess) << err_.str();
    EXPECT_EQ(testing::readBytes(target / "corvel_uc.bin"), contents_.files[0].image);
    EXPECT_EQ(testing::readBytes(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(folder_.path().parent_path() / "escape.rbf"));
    EXPECT_NE(out_.str().find("Corvel::uC: 9000 bytes -> "), std::string::npos) << out_.str();

    std::filesystem::remove_all(target);
    std::string text = BuildPackageText(contents_);
    text.replace(text.find("<data>") + 6, 4, "!!!!");
    EXPECT_EQ(Run({"inspect", WritePackage(text), "--extract", Target().string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Corvel::uC: base64 decode failed"), std::string::npos) << err_.str();
    EXPECT_EQ(testing::readBytes(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(target / "corvel_uc.bin"));
}

TEST_F(CliOfflineTest, ExtractNeverWritesOverItsOwnPackage) {
    contents_.files[0].fileName = "package.xml";
    const std::string package = WritePackage();
    const std::string before = testing::readText(package);
    const std::filesystem::path link = folder_ / "link";
    std::filesystem::create_directory_symlink(folder_.path(), link);
    for (const std::filesystem::path& target : {folder_.path(), link}) {
        EXPECT_EQ(Run({"inspect", package, "--extract", target.string()}), kExitFailure) << target;
        EXPECT_EQ(err_.str(),
                  "Corvel::uC: not written: " + (target / "package.xml").string() + " is the package file itself\n");
        EXPECT_EQ(testing::readText(package), before);
    }
}

TEST_F(CliOfflineTest, TextsFromThePackageReachATerminalEscaped) {
    contents_.name = "Corvel \x1b[2J";
    contents_.files[0].fileName = "uc\x1b]0;owned\x07.bin";
    const std::string package = WritePackage();
    const std::filesystem::path target = Target();
    terminal_ = true;
    ASSERT_EQ(Run({"inspect", package, "--extract", target.string()}), kExitSuccess) << err_.str();
    for (const std::string expected : {"Package: Corvel \\x1B[2J\n", "File:        uc\\x1B]0;owned\\x07.bin\n",
                                       "uc\\x1B]0;owned\\x07.bin\n"}) {
        EXPECT_NE(out_.str().find(expected), std::string::npos) << expected << "\n" << out_.str();
    }
    EXPECT_EQ(out_.str().find('\x1b'), std::string::npos) << out_.str();
    EXPECT_TRUE(std::filesystem::exists(target / "uc\x1b]0;owned\x07.bin"));

    terminal_ = false;
    ASSERT_EQ(Run({"inspect", package}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Package: Corvel \x1b[2J\n"), std::string::npos) << out_.str();
}

TEST_F(CliOfflineTest, AListShowsItsPackagesAsTheProgramLoadsThemEscapedForATerminal) {
    // A user-built package, its name with a control character, with a firmware
    // file and an item without one, then the fixture's package read from its file.
    const std::string firmware = Write("corvel2c-rev-1.02.bin", "no marker");
    const std::string list =
        Write("Tarnwick.packages.xml",
              "<config><package updpackage=\"0\"><name>Lab\x1b[31m set</name><files>2</files><file>"
              "<id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id><name>x</name><path>" + firmware + "</path></file>"
              "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><name>y</name><path/></file></package>"
              "<package updpackage=\"1\"><name>Old name</name><files>0</files><path>" + WritePackage() +
                  "</path></package></config>");
    terminal_ = true;
    ASSERT_EQ(Run({"inspect", "--list", list}), kExitSuccess) << err_.str();
    const std::string expectedStart = "Package list: " + list + "\nPackages: 2\n\n[1] built from firmware files\n" +
                                      "Package: Lab\\x1B[31m set\nItems: 2\n1. Corvel::Bootloader\n" +
                                      "   GUID:        {728F4F3D-0BED-499A-8385-5ECBE8116317}\n" +
                                      "   File:        " + (folder_ / "corvel2c-rev-1.02.bin").string() +
                                      "\n   Camera type: 4 (Corvel2c)\n   Version:     1.02\n";
    EXPECT_EQ(out_.str().substr(0, expectedStart.size()), expectedStart) << out_.str();
    for (const char* expected : {"2. Corvel::uC\n", "   Camera type: 0 (None)\n   Version:     0.00\n",
                                 "[2] package file ", "Package: Corvel 2.01\nItems: 2\n",
                                 "   File:        corvel_uc.bin\n   Camera type: 1 (Corvel1b)\n"}) {
        EXPECT_NE(out_.str().find(expected), std::string::npos) << expected << "\n" << out_.str();
    }
    EXPECT_TRUE(err_.str().empty());
    EXPECT_EQ(Run({"inspect", list, "--list"}), kExitSuccess) << err_.str();
}

TEST_F(CliOfflineTest, AnUnreadableListOrOneThatIsNoPackageListFails) {
    EXPECT_EQ(Run({"inspect", "--list", (folder_ / "missing.xml").string()}), kExitFailure);
    EXPECT_EQ(err_.str(), "Can't read configuration file\n");
    for (const std::string_view text : {std::string_view("not xml"), std::string_view(),
                                        std::string_view("\x93\x00\x17<\xfe", 5)}) {
        const std::string list = Write("list.xml", text);
        EXPECT_EQ(Run({"inspect", "--list", list}), kExitFailure) << text;
        EXPECT_EQ(err_.str(), list + ": not a package list\n");
    }
    ASSERT_EQ(Run({"inspect", "--list", Write("list.xml", "<config/>")}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Packages: 0\n"), std::string::npos) << out_.str();
}

// Counts how often one file was opened and closed again while the counter
// lives. Opens and closes alternate in the queue, so the kernel never merges
// two opens, and events on a watched file carry no name.
class OpenCounter {
public:
    explicit OpenCounter(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(::inotify_add_watch(fd_.get(), path.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    }

    int opens() const {
        std::array<inotify_event, 64> events{};
        const ssize_t got = ::read(fd_.get(), events.data(), sizeof(events));
        return got > 0 ? static_cast<int>(static_cast<std::size_t>(got) / sizeof(inotify_event) / 2) : 0;
    }

private:
    UniqueFd fd_;
};

// A large image without a marker is read to its end, yet only once.
TEST_F(CliOfflineTest, IdentifyReadsTheFileOnceTakesAMarkerOverTheFileNameAndFailsOnAnUnreadableOne) {
    const struct {
        const char* name;
        std::string bytes;
        const char* shown;
    } rows[] = {
        {"sabrel3c-1.10.rbf", std::string(50000, 'x'),
         "Camera type: 14 (Sabrel3c)\nVersion:     1.10\nTaken from:  file name\n"},
        {"Corvel1b-2.01.bin", std::string(2000, '\xff') + "(@)# FW 7",
         "Camera type: 0 (None)\nVersion:     0.07\nTaken from:  version marker (FW)\n"},
    };
    for (const auto& row : rows) {
        const std::string path = Write(row.name, row.bytes);
        const OpenCounter counter(path);
        ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
        EXPECT_EQ(out_.str(), "File:        " + path + "\n" + row.shown);
        EXPECT_TRUE(err_.str().empty());
        EXPECT_EQ(counter.opens(), 1) << path;
    }
    terminal_ = true;
    ASSERT_EQ(Run({"identify", Write("Corvel1b-2.01.bin", "(@)# F\x1bW 7")}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Taken from:  version marker (F\\x1BW)\n"), std::string::npos) << out_.str();

    EXPECT_EQ(Run({"identify", (folder_ / "missing.bin").string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Can't read firmware file"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
    EXPECT_EQ(Run({"identify", folder_.path().string()}), kExitFailure);
}

}  // namespace
}  // namespace tarnwick
