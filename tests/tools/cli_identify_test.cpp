#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace tarnwick {
namespace {

using CliIdentifyTest = CliTest;

TEST_F(CliIdentifyTest, TakesTypeAndVersionFromTheFileName) {
    const std::string path = Write("sabrel3c-1.10.rbf", "no marker");
    ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "File:        " + path +
                              "\n"
                              "Camera type: 14 (Sabrel3c)\n"
                              "Version:     1.10\n"
                              "Taken from:  file name\n");
    EXPECT_TRUE(err_.str().empty());
}

TEST_F(CliIdentifyTest, AMarkerWinsAndClearsTheCameraType) {
    const std::string path = Write("Corvel1b-2.01.bin", std::string(2000, '\xff') + "(@)# FW 7");
    ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Camera type: 0 (None)\nVersion:     0.07\nTaken from:  version marker (FW)\n"),
              std::string::npos)
        << out_.str();
}

TEST_F(CliIdentifyTest, AFileThatCannotBeReadFails) {
    EXPECT_EQ(Run({"identify", (folder_ / "Corvel1b-2.01.bin").string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Can't read firmware file"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
    EXPECT_EQ(Run({"identify", folder_.path().string()}), kExitFailure);
}

}  // namespace
}  // namespace tarnwick
