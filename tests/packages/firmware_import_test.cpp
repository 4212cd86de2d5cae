#include "firmware_import.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tarnwick {
namespace {

class FirmwareFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick_fw_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::filesystem::path folder_;
};

struct PathCase {
    const char* path;
    std::uint32_t cameraType;
    std::uint32_t version;
};

class PathDerivation : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathDerivation, GivesCameraTypeAndVersion) {
    const PathCase& c = GetParam();
    EXPECT_EQ(FirmwareInfoFromPath(c.path), (FirmwareInfo{c.cameraType, c.version})) << c.path;
    EXPECT_EQ(DeriveFirmwareInfo(c.path), (FirmwareInfo{c.cameraType, c.version})) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    ExampleNames, PathDerivation,
    ::testing::Values(PathCase{"C:\\fw\\Corvel1b-2.01.bin", 1, 0x0201}, PathCase{"C:\\fw\\sabrel3c-1.10.rbf", 14, 0x010A},
                      PathCase{"C:\\fw\\uc.bin", 0, 0}, PathCase{"C:\\my-files\\uc.bin", 0, 0},
                      PathCase{"C:\\fw\\corvel2c-rev-1.02.bin", 4, 0x0102},
                      PathCase{"C:\\fw\\wendle2b-3.bin", 203, 0x0300}, PathCase{"", 0, 0},
                      PathCase{"/opt/none/Corvel1b-1.00.bin", 0, 0x0100},
                      PathCase{"/fw/sabrel1b/corvel2b-1.00.bin", 3, 0x0100},
                      PathCase{"/fw/TESSID4BM-1.01.bin", 107, 0x0101}, PathCase{"/fw/fw-1.5.bin", 0, 0x0105},
                      PathCase{"/fw/fw-V1.5.bin", 0, 0x0005}));

TEST_F(FirmwareFileTest, MarkerVersionWinsOverThePathAndClearsTheCameraType) {
    const std::string path = Write("Corvel1b-2.01.bin", std::string("\x01\x02junk(@)# FW V1.02 build\0rest", 30));
    const auto marker = ReadVersionMarker(path);
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->firstWord, "FW");
    EXPECT_EQ(marker->version, 0x0102u);
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{0, 0x0102}));
}

TEST_F(FirmwareFileTest, MajorAloneIsNotShifted) {
    const std::string path = Write("uc.bin", std::string("(@)# FW 7\0\0\0", 12));
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{0, 0x0007}));
}

TEST_F(FirmwareFileTest, LetterBeforeTheDigitsIsSkippedInTheMarker) {
    const std::string path = Write("uc.bin", "(@)# FW V1.5");
    EXPECT_EQ(ReadVersionMarker(path)->version, 0x0105u);
}

TEST_F(FirmwareFileTest, SecondWordWithoutDigitsGivesVersionZero) {
    const std::string path = Write("Corvel1b-2.01.bin", "(@)#   FW   beta");
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{0, 0}));
}

TEST_F(FirmwareFileTest, ParenthesisBeforeTheMarkerBreaksTheMatch) {
    const std::string path = Write("Corvel1b-2.01.bin", "((@)# FW 1.00");
    EXPECT_FALSE(ReadVersionMarker(path));
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{1, 0x0201}));
}

TEST_F(FirmwareFileTest, MarkerAcrossAPieceBoundaryIsFound) {
    for (std::size_t start : {1020u, 1021u, 1022u, 1023u, 2044u}) {
        const std::string path = Write("uc.bin", std::string(start, 'x') + "(@)# FW 3.04 end");
        const auto marker = ReadVersionMarker(path);
        ASSERT_TRUE(marker) << start;
        EXPECT_EQ(marker->version, 0x0304u) << start;
    }
}

TEST_F(FirmwareFileTest, MarkerAtTheVeryEndOrWithOneWordCountsAsNone) {
    EXPECT_FALSE(ReadVersionMarker(Write("a.bin", "data(@)# ")));
    EXPECT_FALSE(ReadVersionMarker(Write("b.bin", "data(@)# FW")));
    EXPECT_FALSE(ReadVersionMarker(Write("c.bin", std::string("(@)# FW\0 1.00", 13))));
}

TEST_F(FirmwareFileTest, TheFirstMarkerCounts) {
    const std::string path = Write("uc.bin", std::string(3000, 'x') + "(@)# FW 1.01 " + std::string(3000, 'y') +
                                                 "(@)# FW 2.02 ");
    EXPECT_EQ(ReadVersionMarker(path)->version, 0x0101u);
}

TEST_F(FirmwareFileTest, AHugeImageIsReadOnlyAsFarAsItsMarker) {
    const std::string path = Write("fpga.rbf", "(@)# FPGA 4.05 ");
    std::error_code error;
    std::filesystem::resize_file(path, std::uintmax_t{64} << 30, error);  // sparse: no disk space used
    if (error) {
        GTEST_SKIP() << "no sparse files here: " << error.message();
    }
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{0, 0x0405}));
}

TEST_F(FirmwareFileTest, APipeOrAFolderIsNotWaitedOnAndFallsBackToThePath) {
    const std::string pipe = (folder_ / "corvel1c-1.03.bin").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(DeriveFirmwareInfo(pipe), (FirmwareInfo{2, 0x0103}));
    const std::string folder = (folder_ / "wendle1b-2.00").string();
    std::filesystem::create_directory(folder);
    EXPECT_EQ(DeriveFirmwareInfo(folder), (FirmwareInfo{201, 0x0200}));
}

TEST_F(FirmwareFileTest, MissingFileFallsBackToThePath) {
    const std::string path = (folder_ / "wendle2b-3.bin").string();
    EXPECT_FALSE(ReadVersionMarker(path));
    EXPECT_EQ(DeriveFirmwareInfo(path), (FirmwareInfo{203, 0x0300}));
}

TEST_F(FirmwareFileTest, ImportChangesOnlyCameraTypeAndVersion) {
    PackageItem item;
    item.typeName = "Corvel::uC";
    item.fileName = Write("corvel2c-1.02.bin", "no marker here");
    item.fileSize = 77;
    item.setData({1, 2, 3});
    ImportFirmwareInfo(item);
    EXPECT_EQ(item.cameraType, 4u);
    EXPECT_EQ(item.version, 0x0102u);
    EXPECT_EQ(item.typeName, "Corvel::uC");
    EXPECT_EQ(item.fileSize, 77u);
    EXPECT_EQ(item.dataLength(), 3u);

    item.fileName.clear();
    ImportFirmwareInfo(item);
    EXPECT_EQ(item.cameraType, 0u);
    EXPECT_EQ(item.version, 0u);
}

}  // namespace
}  // namespace tarnwick
