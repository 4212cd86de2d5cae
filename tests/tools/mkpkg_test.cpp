#include "mkpkg_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <sstream>

#include "package_file.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

class SilentMessages final : public UserMessages {
public:
    void showMessage(std::string_view, std::string_view, MessageIcon) override {}
};

class MkpkgTest : public ::testing::Test {
protected:
    // File times are read back in local time; the expected ones are in UTC.
    MkpkgTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    int Run(std::vector<std::string> args) {
        err_.str("");
        std::ostringstream out;
        return RunMkpkg(args, out, err_);
    }

    Package ReadBack() {
        auto package = OpenPackage("", output_, messages_);
        EXPECT_TRUE(package);
        return package ? std::move(*package) : Package("", "");
    }

    testing::TemporaryFolder folder_;
    const std::string output_ = (folder_ / "out.xml").string();
    SilentMessages messages_;
    std::ostringstream err_;
};

TEST_F(MkpkgTest, DerivesCameraTypeAndVersionFromTheFirmwareFile) {
    const std::string raw(5000, 'u');
    const std::string path = folder_.write("Corvel1b-2.01.bin", raw);
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
    EXPECT_EQ(item.fileTime, (FileTime{2006, 10, 4, 19, 26, 40, 0}));

    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(std::string(item.data().begin(), item.data().end()), raw);
}

TEST_F(MkpkgTest, ExplicitValuesAndGuidTypesOverrideTheDerivation) {
    const std::string fpga = folder_.write("sabrel3c-1.10.rbf", "fpga");
    const std::string boot = folder_.write("boot.bin", "boot");
    ASSERT_EQ(Run({output_, "--item", "{4F5CAEA8-5697-42CA-838D-7FE02B3736FD}", fpga, "--camera", "12", "--item-version",
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

TEST_F(MkpkgTest, FailuresWriteNothing) {
    const std::string raw = folder_.write("uc.bin", "x");
    const std::string missing = (folder_ / "missing.bin").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string_view errText;
    } rows[] = {
        {{output_}, 2, ""},
        {{output_, "--item", "Corvel::Nothing", raw}, 2, "unknown image type 'Corvel::Nothing'"},
        {{output_, "--camera", "1", "--item", "Corvel::uC", raw}, 2, ""},
        {{output_, "--item", "Corvel::uC", raw, "--item-version", "2"}, 2, ""},
        {{output_, "--item", "Corvel::uC", missing}, 1, "can't read"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.args), row.status) << ::testing::PrintToString(row.args);
        EXPECT_NE(err_.str().find(row.errText), std::string::npos) << err_.str();
        EXPECT_FALSE(std::filesystem::exists(output_)) << ::testing::PrintToString(row.args);
    }
}

TEST_F(MkpkgTest, RefusesWhatTheProgramWouldRefuseWithItsReason) {
    std::mt19937 random(12);
    std::string noise(16000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    const std::string randomBoot = folder_.write("random-boot.bin", noise);
    const std::string overRoom = folder_.write("over.bin", std::string(16377, '\0'));
    const std::string fullRoom = folder_.write("full.bin", std::string(16376, '\0'));
    const std::string overSlack = folder_.write("huge.bin", std::string(16384 + 4097, '\0'));
    const std::string uc = folder_.write("uc.bin", "uc");
    const struct {
        std::vector<std::string> items;
        std::string_view errText;
    } rows[] = {
        {{"Corvel::Bootloader", randomBoot}, "Corvel::Bootloader: input file execeeds max allowed size"},
        {{"Corvel::Bootloader", overSlack}, "Corvel::Bootloader: Can't decompress file. (-8)"},
        {{"Corvel::Bootloader", overRoom},
         "Corvel::Bootloader: image of 16377 bytes does not fit its region (16376 bytes free before the length "
         "word)"},
        {{"Corvel::uC", uc, "--item", "Corvel::uC", uc}, "Corvel::uC is listed twice in the package"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{output_, "--item"};
        args.insert(args.end(), row.items.begin(), row.items.end());
        EXPECT_EQ(Run(args), 1) << ::testing::PrintToString(row.items);
        EXPECT_EQ(err_.str(), "tarnwick-mkpkg: " + std::string(row.errText) + "\n");
        EXPECT_FALSE(std::filesystem::exists(output_)) << ::testing::PrintToString(row.items);
    }
    ASSERT_EQ(Run({output_, "--item", "Corvel::Bootloader", fullRoom}), 0) << err_.str();
    Package package = ReadBack();
    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(package.items()[0].dataLength(), 16376u);
}

}  // namespace
}  // namespace tarnwick
