// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware_import.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temporary_folder.h"

namespace tarnwick {
namespace {

// None of these files exists, so the derivation falls back to the path.
TEST(PathDerivation, GivesCameraTypeAndVersion) {
    const struct {
        const char* path;
        FirmwareInfo info;
    } cases[] = {
        {"C:\\fw\\Corvel1b-2.01.bin", {1, 0x0201}},   {"C:\\fw\\sabrel3c-1.10.rbf", {14, 0x010A}},
        {"C:\\fw\\uc.bin", {0, 0}},                   {"C:\\my-files\\uc.bin", {0, 0}},
        {"C:\\fw\\corvel2c-rev-1.02.bin", {4, 0x0102}}, {"C:\\fw\\wendle2b-3.bin", {203, 0x0300}},
        {"", {0, 0}},                                 {"/opt/none/Corvel1b-1.00.bin", {0, 0x0100}},
        {"/fw/sabrel1b/corvel2b-1.00.bin", {3, 0x0100}}, {"/fw/TESSID4BM-1.01.bin", {107, 0x0101}},
        {"/fw/fw-1.5.bin", {0, 0x0105}},              {"/fw/fw-V1.5.bin", {0, 0x0005}},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(DeriveFirmwareInfo(row.path), row.info) << row.path;
    }
}

class FirmwareFileTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder_;
};

// Each file is named Corvel1b-2.01.bin: a found marker gives camera type 0
// and its version, no marker gives the path's {1, 0x0201}.
TEST_F(FirmwareFileTest, MarkerVersionWinsOverThePath) {
    const FirmwareInfo noMarker{1, 0x0201};
    const struct {
        const char* name;
        std::string contents;
        FirmwareInfo derived;
    } cases[] = {
        {"word after a letter", std::string("\x01\x02junk(@)# FW V1.02 build\0rest", 30), {0, 0x0102}},
        {"major alone is not shifted", std::string("(@)# FW 7\0\0\0", 12), {0, 0x0007}},
        {"letter before the digits", "(@)# FW V1.5", {0, 0x0105}},
        {"second word without digits", "(@)#   FW   beta", {0, 0}},
        {"first marker counts", std::string(3000, 'x') + "(@)# FW 1.01 " + std::string(3000, 'y') + "(@)# FW 2.02 ",
         {0, 0x0101}},
        {"parenthesis before the marker", "((@)# FW 1.00", noMarker},
        {"marker at the very end", "data(@)# ", noMarker},
        {"only one word", "data(@)# FW", noMarker},
        {"zero ends the text", std::string("(@)# FW\0 1.00", 13), noMarker},
        {"no marker", "no marker here", noMarker},
    };
    for (const auto& row : cases) {
        const auto identity = IdentifyFirmware(folder_.write("Corvel1b-2.01.bin", row.contents));
        EXPECT_EQ(identity.info, row.derived) << row.name;
        EXPECT_EQ(identity.marker ? identity.marker->firstWord : "-", row.derived == noMarker ? "-" : "FW") << row.name;
        // An image in memory reads the same.
        const auto inMemory = FindVersionMarker(
            std::span(reinterpret_cast<const std::uint8_t*>(row.contents.data()), row.contents.size()));
        EXPECT_EQ(inMemory ? inMemory->version : 0xFFFFu, identity.marker ? identity.marker->version : 0xFFFFu)
            << row.name;
    }
}

TEST_F(FirmwareFileTest, MarkerAcrossAPieceBoundaryIsFound) {
    for (std::size_t start : {1020u, 1021u, 1022u, 1023u, 2044u}) {
        const std::string path = folder_.write("uc.bin", std::string(start, 'x') + "(@)# FW 3.04 end");
        EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{0, 0x0304})) << start;
    }
}

TEST_F(FirmwareFileTest, AHugeImageIsReadOnlyAsFarAsItsMarker) {
    const std::string path = folder_.write("fpga.rbf", "(@)# FPGA 4.05 ");
    std::error_code error;
    std::filesystem::resize_file(path, std::uintmax_t{64} << 30, error);  // sparse: no disk space used
    if (error) {
        GTEST_SKIP() << "no sparse files here: " << error.message();
    }
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{0, 0x0405}));
}

TEST_F(FirmwareFileTest, APipeOrAFolderIsNotWaitedOnAndFallsBackToThePath) {
    const std::string pipe = folder_ / "corvel1c-1.03.bin";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(DeriveFirmwareInfo(pipe), (FirmwareInfo{2, 0x0103}));
    const std::string folder = folder_ / "wendle1b-2.00";
    std::filesystem::create_directory(folder);
    EXPECT_EQ(DeriveFirmwareInfo(folder), (FirmwareInfo{201, 0x0200}));
}

}  // namespace
}  // namespace tarnwick
