#include "mkpkg_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "package_file.h"

namespace tarnwick {
namespace {

class SilentMessages final : public UserMessages {
public:
    void showMessage(std::string_view, std::string_view, MessageIcon) override {}
};

class MkpkgTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick_mkpkg_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        output_ = (folder_ / "out.xml").string();
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
        return RunMkpkg(args, out_, err_);
    }

    Package ReadBack() {
        SilentMessages messages;
        auto package = OpenPackage("", output_, messages);
        EXPECT_TRUE(package);
        return package ? std::move(*package) : Package("", "");
    }

    std::filesystem::path folder_;
    std::string output_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(MkpkgTest, DerivesCameraTypeAndVersionFromTheFirmwareFile) {
    const std::string raw(5000, 'u');
    const std::string path = Write("Corvel1b-2.01.bin", raw);
    ASSERT_EQ(Run({output_, "--name", "Corvel <uC>", "--time", "1160000000", "--item", "corvel::uc", path,
                   "--file-time", "1159990000"}),
              0)
        << err_.str();
    Package package = ReadBack();
    EXPECT_EQ(package.name(), "Corvel <uC>");
    ASSERT_EQ(package.itemCount(), 1u);
    const PackageItem& item = package.items()[0];
    EXPECT_EQ(item.typeName, "Corvel::uC");
    EXPECT_EQ(item.fileName, "Corvel1b-2.01.bin");
    EXPECT_EQ(item.cameraType, 1u);
    EXPECT_EQ(item.version, 0x0201u);
    EXPECT_EQ(item.fileSize, 5000u);
    EXPECT_EQ(item.fileTime, (FileTime{2006, 10, 3, 4, 19, 26, 40, 0}));

    SilentMessages messages;
    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages), LoadResult::Loaded);
    EXPECT_EQ(std::string(item.data().begin(), item.data().end()), raw);
}

TEST_F(MkpkgTest, ExplicitValuesAndGuidTypesOverrideTheDerivation) {
    const std::string fpga = Write("sabrel3c-1.10.rbf", "fpga");
    const std::string boot = Write("boot.bin", "boot");
    ASSERT_EQ(Run({output_, "--item", "{4F5CAEA8-5697-42CA-838D-7FE02B3736FD}", fpga, "--camera", "12", "--version",
                   "3.07", "--item", "Sabrel::Bootloader", boot}),
              0)
        << err_.str();
    Package package = ReadBack();
    ASSERT_EQ(package.itemCount(), 2u);
    EXPECT_EQ(package.items()[0].typeName, "Sabrel::FPGA");
    EXPECT_EQ(package.items()[0].cameraType, 12u);
    EXPECT_EQ(package.items()[0].version, 0x0307u);
    EXPECT_EQ(package.items()[1].typeName, "Sabrel::Bootloader");
}

TEST_F(MkpkgTest, WrongCommandLinesAreUsageErrors) {
    const std::string raw = Write("uc.bin", "x");
    EXPECT_EQ(Run({output_}), 2);
    EXPECT_EQ(Run({output_, "--item", "Corvel::Nothing", raw}), 2);
    EXPECT_NE(err_.str().find("unknown image type 'Corvel::Nothing'"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({output_, "--camera", "1", "--item", "Corvel::uC", raw}), 2);
    EXPECT_EQ(Run({output_, "--item", "Corvel::uC", raw, "--version", "2"}), 2);
    EXPECT_FALSE(std::filesystem::exists(output_));
}

TEST_F(MkpkgTest, UnreadableFirmwareFileFailsAndWritesNothing) {
    EXPECT_EQ(Run({output_, "--item", "Corvel::uC", (folder_ / "missing.bin").string()}), 1);
    EXPECT_NE(err_.str().find("can't read"), std::string::npos) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(output_));
}

}  // namespace
}  // namespace tarnwick
