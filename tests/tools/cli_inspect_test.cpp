#include "cli.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

class CliInspectTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick_cli_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        contents_.name = "Corvel 2.01";
        contents_.time = 1160000000;
        contents_.files.push_back({*ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"), "corvel_uc.bin", 1, 513,
                                   1159990000, Pattern(9000, 3)});
        contents_.files.push_back({*ParseGuid("{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}"), "../../escape.rbf", 77,
                                   0x010A, 0, Pattern(700, 5)});
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string WritePackage(const std::string& text) {
        const std::string path = (folder_ / "package.xml").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunCli(args, CliStreams{out_, err_});
    }

    std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path folder_;
    PackageContents contents_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CliInspectTest, ListsWhatWentIntoThePackage) {
    ASSERT_EQ(Run({"inspect", WritePackage(BuildPackageText(contents_))}), 0) << err_.str();
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
    ASSERT_EQ(Run({"inspect", WritePackage(BuildPackageText(contents_)), "--json"}), 0) << err_.str();
    const auto json = nlohmann::json::parse(out_.str());
    EXPECT_EQ(json["name"], "Corvel 2.01");
    ASSERT_EQ(json["items"].size(), 2u);
    const auto& uc = json["items"][0];
    EXPECT_EQ(uc["typeName"], "Corvel::uC");
    EXPECT_EQ(uc["guid"], "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}");
    EXPECT_EQ(uc["fileName"], "corvel_uc.bin");
    EXPECT_EQ(uc["cameraType"], 1);
    EXPECT_EQ(uc["cameraModel"], "Corvel1b");
    EXPECT_EQ(uc["version"], "2.01");
    EXPECT_EQ(uc["size"], 9000);
    EXPECT_EQ(uc["time"], "04.10.2006 - 19:26:40");
    EXPECT_TRUE(json["items"][1]["cameraModel"].is_null());
}

TEST_F(CliInspectTest, ExtractGivesBackTheOriginalBytesInsideTheFolder) {
    const std::filesystem::path target = folder_ / "out";
    std::filesystem::create_directory(target);
    ASSERT_EQ(Run({"inspect", WritePackage(BuildPackageText(contents_)), "--extract", target.string()}), 0)
        << err_.str();
    EXPECT_EQ(ReadFile(target / "corvel_uc.bin"), contents_.files[0].image);
    EXPECT_EQ(ReadFile(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(folder_.parent_path() / "escape.rbf"));
    EXPECT_NE(out_.str().find("Corvel::uC: 9000 bytes -> "), std::string::npos) << out_.str();
}

TEST_F(CliInspectTest, ItemThatFailsToLoadIsReportedWithTheSystemsText) {
    std::string text = BuildPackageText(contents_);
    const std::size_t data = text.find("<data>") + 6;
    text.replace(data, 4, "!!!!");
    const std::filesystem::path target = folder_ / "out";
    std::filesystem::create_directory(target);
    EXPECT_EQ(Run({"inspect", WritePackage(text), "--extract", target.string()}), 1);
    EXPECT_NE(err_.str().find("Corvel::uC: base64 decode failed"), std::string::npos) << err_.str();
    EXPECT_EQ(ReadFile(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(target / "corvel_uc.bin"));
}

TEST_F(CliInspectTest, UnreadablePackageAndWrongUsageFail) {
    EXPECT_EQ(Run({"inspect", (folder_ / "missing.xml").string()}), 1);
    EXPECT_NE(err_.str().find("Can't read package file"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"inspect"}), 2);
    EXPECT_EQ(Run({"inspect", "a.xml", "--bogus"}), 2);
    EXPECT_EQ(Run({"frobnicate"}), 2);
    EXPECT_NE(err_.str().find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(Run({}), 2);
}

}  // namespace
}  // namespace tarnwick
