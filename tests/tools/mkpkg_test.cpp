// SPDX-License-Identifier: GPL-2.0-or-later
#include "mkpkg_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <tuple>

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

TEST_F(MkpkgTest, DerivesCameraTypeAndVersionUnlessGivenAndNamesTypesByNameOrGuid) {
    const std::string raw(5000, 'u');
    const std::string uc = folder_.write("Corvel1b-2.01.bin", raw);
    const std::string fpga = folder_.write("sabrel3c-1.10.rbf", "fpga");
    ASSERT_EQ(Run({output_, "--name", "Corvel <uC>", "--time", "1160000000", "--item", "corvel::uc", uc, "--file-time",
                   "1159990000", "--item", "{4F5CAEA8-5697-42CA-838D-7FE02B3736FD}", fpga, "--camera", "12",
                   "--item-version", "3.07"}),
              0)
        << err_.str();
    Package package = ReadBack();
    EXPECT_EQ(package.name(), "Corvel <uC>");
    ASSERT_EQ(package.itemCount(), 2u);
    const PackageItem& item = package.items()[0];
    EXPECT_EQ(std::tie(item.typeName, item.fileName, item.cameraType, item.version, item.fileSize),
              std::tuple("Corvel::uC", "Corvel1b-2.01.bin", 1u, 0x0201u, 5000u));
    EXPECT_EQ(item.fileTime, (FileTime{2006, 10, 4, 19, 26, 40, 0}));
    const PackageItem& typed = package.items()[1];
    EXPECT_EQ(std::tie(typed.typeName, typed.cameraType, typed.version), std::tuple("Sabrel::FPGA", 12u, 0x0307u));

    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(std::string(item.data().begin(), item.data().end()), raw);
}

// Usage errors give 2, refusals of the input 1; either way nothing is written.
TEST_F(MkpkgTest, FailuresWriteNothingAndGiveTheirReason) {
    const std::string overRoom = folder_.write("over.bin", std::string(16377, '\0'));
    const std::string overSlack = folder_.write("huge.bin", std::string(16384 + 4097, '\0'));
    const std::string uc = folder_.write("uc.bin", "uc");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string_view errText;
    } rows[] = {
        {{}, 2, ""},
        {{"--item", "Corvel::Nothing", uc}, 2, "unknown image type 'Corvel::Nothing'"},
        {{"--camera", "1", "--item", "Corvel::uC", uc}, 2, ""},
        {{"--item", "Corvel::uC", uc, "--item-version", "2"}, 2, ""},
        {{"--item", "Corvel::uC", uc, "--item-version", "256.1"}, 2, "major number must be 0 to 255: '256'"},
        {{"--item", "Corvel::uC", uc, "--item-version", "1.256"}, 2, "minor number must be 0 to 255: '256'"},
        {{"--item", "Corvel::uC", uc, "--item-version", "1.-1"}, 2, "minor number must be 0 to 255: '-1'"},
        {{"--item", "Corvel::uC", uc, "--camera", "4294967296"}, 2,
         "a camera type must be 0 to 4294967295: '4294967296'"},
        {{"--item", "Corvel::uC", uc, "--camera", "-1"}, 2, "a camera type must be 0 to 4294967295: '-1'"},
        {{"--item", "Corvel::uC", (folder_ / "missing.bin").string()}, 1, "can't read"},
        {{"--item", "Corvel::Bootloader", overSlack}, 1, "Corvel::Bootloader: Can't decompress file. (-8)\n"},
        {{"--item", "Corvel::Bootloader", overRoom}, 1,
         "Corvel::Bootloader: image of 16377 bytes does not fit its region (16376 bytes free before the length "
         "word)\n"},
        {{"--item", "Corvel::uC", uc, "--item", "Corvel::uC", uc}, 1,
         "tarnwick-mkpkg: Corvel::uC is listed twice in the package\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{output_};
        args.insert(args.end(), row.args.begin(), row.args.end());
        EXPECT_EQ(Run(args), row.status) << ::testing::PrintToString(row.args);
        EXPECT_NE(err_.str().find(row.errText), std::string::npos) << err_.str();
        EXPECT_FALSE(std::filesystem::exists(output_)) << ::testing::PrintToString(row.args);
    }
    ASSERT_EQ(Run({output_, "--item", "Corvel::Bootloader", folder_.write("full.bin", std::string(16376, '\0'))}), 0)
        << err_.str();
    Package package = ReadBack();
    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(package.items()[0].dataLength(), 16376u);
}

// The atomic replace would otherwise put the package where the firmware was.
TEST_F(MkpkgTest, NeverWritesOverOneOfItsImages) {
    const std::string firmware = folder_.write("uc.bin", "uc");
    const std::filesystem::path link = folder_ / "link.xml";
    std::filesystem::create_symlink(firmware, link);
    const std::filesystem::path hardLink = folder_ / "hard.xml";
    std::filesystem::create_hard_link(firmware, hardLink);
    const std::string fpga = folder_.write("fpga.rbf", "fpga");
    const std::string spelled = (folder_ / "." / "uc.bin").string();
    for (const std::string& output : {firmware, link.string(), hardLink.string(), spelled}) {
        EXPECT_EQ(Run({output, "--item", "Corvel::FPGA", fpga, "--item", "Corvel::uC", firmware}), 1);
        EXPECT_EQ(err_.str(), "tarnwick-mkpkg: not written: " + output + " is the image file of Corvel::uC\n");
        EXPECT_EQ(testing::readText(firmware), "uc");
    }
}

}  // namespace
}  // namespace tarnwick
