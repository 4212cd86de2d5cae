// SPDX-License-Identifier: GPL-2.0-or-later
// What a backup reads on which camera, what it says about each region, and
// the package it makes of them; the whole backup runs against the simulated
// camera in the command line's and the window's tests.
#include "camera_backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "package_file.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

const ImageType& TypeNamed(std::string_view name) { return *FindImageTypeByName(name); }

std::vector<std::string> NamesOf(const std::vector<BackupRegion>& regions) {
    std::vector<std::string> names;
    for (const BackupRegion& region : regions) {
        names.emplace_back(region.type->name);
    }
    return names;
}

BackupRegion ReadRegion(std::string_view typeName, std::vector<std::uint8_t> bytes) {
    BackupRegion region{&TypeNamed(typeName), {}};
    region.copy.fileName = BackupFileName(*region.type);
    region.copy.state = RegionCopy::State::Read;
    region.copy.bytes = std::move(bytes);
    return region;
}

TEST(BackupPlan, TakesTheFamilysRegionsInCatalogueOrderOrRefusesWhatTheCameraLacks) {
    const auto plan = PlanBackup(TargetPlatform::Sabrel, {});
    ASSERT_TRUE(std::holds_alternative<std::vector<BackupRegion>>(plan));
    const auto& regions = std::get<std::vector<BackupRegion>>(plan);
    EXPECT_EQ(NamesOf(regions), (std::vector<std::string>{"Sabrel::Bootloader", "Sabrel::uC", "Sabrel::FPGA",
                                                          "Sabrel::PersonalizationData", "Sabrel::FLASH"}));
    EXPECT_EQ(regions[3].copy.fileName, "Sabrel-PersonalizationData.bin");

    BackupRequest named{.file = {}, .replace = false, .types = {&TypeNamed("Corvel::FPGA"), &TypeNamed("Corvel::uC")},
                        .wholeRegions = true};
    const auto some = std::get<std::vector<BackupRegion>>(PlanBackup(TargetPlatform::Corvel, named));
    EXPECT_EQ(NamesOf(some), (std::vector<std::string>{"Corvel::uC", "Corvel::FPGA"}));
    EXPECT_TRUE(some[0].copy.wholeRegion);

    const std::pair<TargetPlatform, std::string> refusals[] = {
        {TargetPlatform::Sabrel, "Corvel::FPGA is not for this camera (Sabrel)"},
        {TargetPlatform::Unknown, "Corvel::FPGA is not for this camera (unknown)"},
    };
    for (const auto& [platform, text] : refusals) {
        EXPECT_EQ(std::get<std::string>(PlanBackup(platform, named)), text);
    }
    EXPECT_EQ(std::get<std::string>(PlanBackup(TargetPlatform::Unknown, {})),
              "This camera (unknown) has no region to back up");
}

TEST(BackupFile, IsRefusedInAMissingFolderInPlaceOfAFolderOrOfAFileUnlessReplaced) {
    testing::TemporaryFolder folder;
    const std::filesystem::path existing = folder.write("old.xml", "old");
    EXPECT_EQ(BackupFileRefusal(folder / "new.xml", false), std::nullopt);
    EXPECT_EQ(BackupFileRefusal(existing, true), std::nullopt);
    EXPECT_EQ(BackupFileRefusal(existing, false), existing.string() + " exists already and is not replaced");
    EXPECT_EQ(BackupFileRefusal(folder.path(), true), "Can't write " + folder.path().string() + ": it is a folder");
    const std::filesystem::path lost = folder / "missing" / "b.xml";
    EXPECT_EQ(BackupFileRefusal(lost, true), "Can't write " + lost.string() + ": the folder does not exist");
}

TEST(BackupRegionText, SaysWhatBecameOfEachRegion) {
    BackupRegion region = ReadRegion("Corvel::FPGA", std::vector<std::uint8_t>(10002));
    EXPECT_EQ(BackupRegionText(region), "Corvel::FPGA: 10002 bytes read");
    region.copy.wholeRegion = true;
    EXPECT_EQ(BackupRegionText(region), "Corvel::FPGA: 10002 bytes read (the whole region)");
    region.copy.state = RegionCopy::State::NoImage;
    region.copy.lengthWord = 0xFFFFFFFF;
    EXPECT_EQ(BackupRegionText(region), "Corvel::FPGA: no image recorded (length word 0xFFFFFFFF)");
    region.copy.state = RegionCopy::State::PastRegion;
    region.copy.lengthWord = 0x50000;
    EXPECT_EQ(BackupRegionText(region),
              "Corvel::FPGA: length word 0x00050000 points past the region (262136 bytes at most); not read");
    region.copy.state = RegionCopy::State::NotRead;
    EXPECT_EQ(BackupRegionText(region), "Corvel::FPGA: not read");
}

TEST(BackupPackage, HoldsEachImageReadWithItsMarkersVersionAndLoadsBackAsRead) {
    TargetInfo target;
    target.versionText = "BLS v2.11";
    target.flash.setDetected(0x04, 0x5F);
    const std::string marked = "code(@)# FW V1.02 build";
    std::vector<BackupRegion> regions{ReadRegion("Corvel::uC", {marked.begin(), marked.end()}),
                                      ReadRegion("Corvel::FPGA", {1, 2, 3, 4})};
    regions.push_back(regions.back());
    regions.back().copy.state = RegionCopy::State::NoImage;
    const std::int64_t time = 1160000000;
    const PackedBackup packed = PackBackup(regions, target, time);
    ASSERT_EQ(packed.failure, std::nullopt);

    Package package("", "");
    ASSERT_TRUE(ReadPackageText(package, packed.text));
    EXPECT_EQ(package.name(), "Backup Corvel BLS v2.11 " + FormatFileTime(LocalFileTime(time)));
    ASSERT_EQ(package.itemCount(), 2u);
    const PackageItem& uc = package.items()[0];
    EXPECT_EQ(uc.fileName, "Corvel-uC.bin");
    EXPECT_EQ(uc.version, 0x0102u);
    EXPECT_EQ(uc.fileSize, marked.size());
    EXPECT_EQ(uc.fileTime, LocalFileTime(time));
    EXPECT_EQ(package.items()[1].version, 0u);

    // Random bytes that fill a region do not shrink below it.
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(imageRoomInRegion(TypeNamed("Corvel::Bootloader")));
    std::ranges::generate(noise, [&random] { return static_cast<std::uint8_t>(random()); });
    EXPECT_EQ(PackBackup({ReadRegion("Corvel::Bootloader", noise)}, target, time).failure,
              "Corvel::Bootloader: input file execeeds max allowed size");
}

}  // namespace
}  // namespace tarnwick
