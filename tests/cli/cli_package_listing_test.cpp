#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli_fixture.h"
#include "guid.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * seed + (i >> 5));
    }
    return bytes;
}

class CliInspectTest : public CliTest {
protected:
    CliInspectTest() {
        contents_.name = "Corvel 2.01";
        contents_.time = 1160000000;
        contents_.files.push_back({*ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"), "corvel_uc.bin", 1, 513,
                                   1159990000, Pattern(9000, 3)});
        contents_.files.push_back({*ParseGuid("{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}"), "../../escape.rbf", 77,
                                   0x010A, 0, Pattern(700, 5)});
    }

    std::string WritePackage(const std::string& text) const { return Write("package.xml", text); }
    std::string WritePackage() const { return WritePackage(BuildPackageText(contents_)); }

    PackageContents contents_;
};

TEST_F(CliInspectTest, ListsWhatWentIntoThePackage) {
    ASSERT_EQ(Run({"inspect", WritePackage()}), kExitSuccess) << err_.str();
    const std::string out = out_.str();
    for (const char* expected :
         {"Package: Corvel 2.01", "Items: 2", "1. Corvel::uC", "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}",
          "corvel_uc.bin", "Camera type: 1 (Corvel1b)", "Version:     2.01", "Size:        9000",
          "Time:        04.10.2006 - 19:26:40", "2. Corvel::FPGA", "Camera type: 77\n", "Version:     1.10",
          "01.01.1970 - 00:00:00"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_TRUE(err_.str().empty());
}

TEST_F(CliInspectTest, JsonHoldsTheSameAsOneObject) {
    ASSERT_EQ(Run({"inspect", WritePackage(), "--json"}), kExitSuccess) << err_.str();
    const auto json = nlohmann::json::parse(out_.str());
    EXPECT_EQ(json["name"], "Corvel 2.01");
    ASSERT_EQ(json["items"].size(), 2u);
    EXPECT_EQ(json["items"][0], nlohmann::json::parse(R"({"typeName": "Corvel::uC",
        "guid": "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}", "fileName": "corvel_uc.bin", "cameraType": 1,
        "cameraModel": "Corvel1b", "version": "2.01", "size": 9000, "time": "04.10.2006 - 19:26:40"})"));
    EXPECT_TRUE(json["items"][1]["cameraModel"].is_null());
}

TEST_F(CliInspectTest, ExtractGivesBackTheOriginalBytesInsideTheFolder) {
    const std::filesystem::path target = folder_ / "out";
    std::filesystem::create_directory(target);
    ASSERT_EQ(Run({"inspect", WritePackage(), "--extract", target.string()}), kExitSuccess) << err_.str();
    EXPECT_EQ(testing::readBytes(target / "corvel_uc.bin"), contents_.files[0].image);
    EXPECT_EQ(testing::readBytes(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(folder_.path().parent_path() / "escape.rbf"));
    EXPECT_NE(out_.str().find("Corvel::uC: 9000 bytes -> "), std::string::npos) << out_.str();
}

TEST_F(CliInspectTest, FailuresToLoadAreReportedWithTheSystemsText) {
    std::string text = BuildPackageText(contents_);
    text.replace(text.find("<data>") + 6, 4, "!!!!");
    const std::filesystem::path target = folder_ / "out";
    std::filesystem::create_directory(target);
    EXPECT_EQ(Run({"inspect", WritePackage(text), "--extract", target.string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Corvel::uC: base64 decode failed"), std::string::npos) << err_.str();
    EXPECT_EQ(testing::readBytes(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(target / "corvel_uc.bin"));

    EXPECT_EQ(Run({"inspect", (folder_ / "missing.xml").string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Can't read package file"), std::string::npos) << err_.str();
}

TEST_F(CliInspectTest, ExtractNeverWritesOverItsOwnPackage) {
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
        EXPECT_EQ(testing::readBytes(folder_ / "escape.rbf"), contents_.files[1].image);
    }
}

TEST_F(CliInspectTest, TextsFromThePackageReachATerminalEscaped) {
    contents_.name = "Corvel \x1b[2J";
    contents_.files[0].fileName = "uc\x1b]0;owned\x07.bin";
    const std::string package = WritePackage();
    const std::filesystem::path target = folder_ / "out";
    std::filesystem::create_directory(target);

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

using CliUsageTest = CliTest;

TEST_F(CliUsageTest, WrongCommandLinesShowTheirUsage) {
    constexpr std::string_view kInspect = "usage: tarnwick-cli inspect PACKAGE.xml";
    constexpr std::string_view kList = "usage: tarnwick-cli inspect --list LIST.xml";
    constexpr std::string_view kIdentify = "usage: tarnwick-cli identify FIRMWARE-FILE";
    const struct {
        std::vector<std::string> args;
        std::string_view errText;
    } rows[] = {
        {{}, "usage:\n"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"identify"}, kIdentify},
        {{"identify", "a.bin", "b.bin"}, kIdentify},
        {{"identify", "--json"}, kIdentify},
        {{"inspect"}, kInspect},
        {{"inspect", "a.xml", "--bogus"}, kInspect},
        {{"inspect", "--list"}, kList},
        {{"inspect", "--list", "a.xml", "--json"}, kList},
        {{"inspect", "--list", "--list"}, kList},
        {{"inspect", "--list", "a.xml", "b.xml"}, kList},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.args), kExitUsage) << ::testing::PrintToString(row.args);
        EXPECT_NE(err_.str().find(row.errText), std::string::npos) << ::testing::PrintToString(row.args) << err_.str();
        EXPECT_TRUE(out_.str().empty()) << ::testing::PrintToString(row.args);
    }
}

}  // namespace
}  // namespace tarnwick
