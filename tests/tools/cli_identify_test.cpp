#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli.h"

namespace tarnwick {
namespace {

class CliIdentifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick_identify_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunCli(args, CliStreams{out_, err_});
    }

    std::filesystem::path folder_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CliIdentifyTest, TakesTypeAndVersionFromTheFileName) {
    const std::string path = Write("sabrel3c-1.10.rbf", "no marker");
    ASSERT_EQ(Run({"identify", path}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "File:        " + path +
                              "\n"
                              "Camera type: 14 (Sabrel3c)\n"
                              "Version:     1.10\n"
                              "Taken from:  file name\n");
    EXPECT_TRUE(err_.str().empty());
}

TEST_F(CliIdentifyTest, AMarkerWinsAndClearsTheCameraType) {
    const std::string path = Write("Corvel1b-2.01.bin", std::string(2000, '\xff') + "(@)# FW 7");
    ASSERT_EQ(Run({"identify", path}), 0) << err_.str();
    EXPECT_NE(out_.str().find("Camera type: 0 (None)\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("Version:     0.07\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("Taken from:  version marker (FW)\n"), std::string::npos) << out_.str();
}

TEST_F(CliIdentifyTest, AMissingFileOrWrongUsageFails) {
    EXPECT_EQ(Run({"identify", (folder_ / "Corvel1b-2.01.bin").string()}), 1);
    EXPECT_NE(err_.str().find("Can't read firmware file"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
    EXPECT_EQ(Run({"identify", folder_.string()}), 1);
    EXPECT_EQ(Run({"identify"}), 2);
    EXPECT_EQ(Run({"identify", "a.bin", "b.bin"}), 2);
    EXPECT_EQ(Run({"identify", "--json"}), 2);
}

}  // namespace
}  // namespace tarnwick
