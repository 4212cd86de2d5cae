#include "flash_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

TEST(FlashChipTable, HoldsSevenRowsEndingWithTheUnknownChip) {
    const auto chips = FlashCatalogue::chips();
    ASSERT_EQ(chips.size(), 7u);
    EXPECT_EQ(chips.back().chipName, "Unknown");
    EXPECT_EQ(chips.back().manufacturerId, 0u);
    EXPECT_EQ(chips.back().deviceId, 0u);
    std::set<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (const FlashChip& chip : chips) {
        EXPECT_TRUE(pairs.insert({chip.manufacturerId, chip.deviceId}).second) << chip.chipName;
    }
}

TEST(FlashChipTable, SectorMapsCoverTheirChipExactly) {
    for (const FlashChip& chip : FlashCatalogue::chips()) {
        if (chip.sectorMap.empty()) {
            continue;
        }
        std::uint64_t covered = 0;
        for (const SectorRegion& region : chip.sectorMap) {
            EXPECT_TRUE(region.bank == 1 || region.bank == 2) << chip.chipName;
            covered += std::uint64_t{region.sectorSize} * region.sectorCount;
        }
        EXPECT_EQ(covered, chip.chipSize) << chip.chipName;
    }
}

class SectorsInRange : public ::testing::Test {
protected:
    static std::vector<std::uint32_t> indexes(const std::vector<FlashSector>& sectors) {
        std::vector<std::uint32_t> result;
        for (const FlashSector& sector : sectors) {
            result.push_back(sector.index);
        }
        return result;
    }

    static std::vector<std::uint32_t> range(std::uint32_t first, std::uint32_t last) {
        std::vector<std::uint32_t> result;
        for (std::uint32_t i = first; i <= last; ++i) {
            result.push_back(i);
        }
        return result;
    }

    FlashCatalogue catalogue;
};

TEST_F(SectorsInRange, BootSectorsAtTheBottom) {
    EXPECT_EQ(catalogue.sectorsInRange(0x0, 0x4000, 0x53),
              (std::vector<FlashSector>{{0x0000, 0x1FFF, 0x2000, 0, 1}, {0x2000, 0x3FFF, 0x2000, 1, 1}}));
}

TEST_F(SectorsInRange, MainSectorsOfTheFirstBank) {
    const auto sectors = catalogue.sectorsInRange(0x10000, 0xF0000, 0x53);
    EXPECT_EQ(indexes(sectors), range(8, 22));
    for (const FlashSector& sector : sectors) {
        EXPECT_EQ(sector.size, 0x10000u);
        EXPECT_EQ(sector.bank, 1u);
        EXPECT_EQ(sector.end, sector.start + 0xFFFF);
    }
}

TEST_F(SectorsInRange, SecondBankCarriesItsNumber) {
    const auto sectors = catalogue.sectorsInRange(0x100000, 0x40000, 0x53);
    EXPECT_EQ(indexes(sectors), range(23, 26));
    EXPECT_EQ(sectors.front().start, 0x100000u);
    EXPECT_EQ(sectors.back().bank, 2u);
}

TEST_F(SectorsInRange, MapOfTheOtherFujitsuChip) {
    const auto sectors = catalogue.sectorsInRange(0x80000, 0x80000, 0x56);
    EXPECT_EQ(indexes(sectors), range(15, 22));
    EXPECT_EQ(sectors.front().bank, 2u);
}

TEST_F(SectorsInRange, LastBootSectorOfTheAtmelChip) {
    EXPECT_EQ(catalogue.sectorsInRange(0xE000, 0x2000, 0xC0), (std::vector<FlashSector>{{0xE000, 0xFFFF, 0x2000, 7, 1}}));
}

TEST_F(SectorsInRange, SectorBeginningBeforeTheRangeIsLeftOut) {
    EXPECT_EQ(catalogue.sectorsInRange(0x1000, 0x2000, 0x53), (std::vector<FlashSector>{{0x2000, 0x3FFF, 0x2000, 1, 1}}));
}

TEST_F(SectorsInRange, OneByteSelectsTheWholeSector) {
    EXPECT_EQ(catalogue.sectorsInRange(0x0, 0x1, 0x53), (std::vector<FlashSector>{{0x0, 0x1FFF, 0x2000, 0, 1}}));
}

TEST_F(SectorsInRange, WholeChipGivesEverySector) {
    EXPECT_EQ(indexes(catalogue.sectorsInRange(0x0, 0x400000, 0x5F)), range(0, 70));
    EXPECT_EQ(indexes(catalogue.sectorsInRange(0x0, 0x200000, 0xC0)), range(0, 38));
}

TEST_F(SectorsInRange, DeviceWithoutMapOrUnknownGivesNothing) {
    EXPECT_TRUE(catalogue.sectorsInRange(0x0, 0x40000, 0x26).empty());
    EXPECT_TRUE(catalogue.sectorsInRange(0x0, 0x40000, 0x99).empty());
}

TEST_F(SectorsInRange, ZeroDeviceStandsForTheDetectedOne) {
    EXPECT_TRUE(catalogue.sectorsInRange(0x0, 0x4000).empty());
    catalogue.setDetected(0x04, 0x56);
    EXPECT_EQ(indexes(catalogue.sectorsInRange(0x80000, 0x10000)), (std::vector<std::uint32_t>{15}));
}

TEST_F(SectorsInRange, RangesAtOrAcrossTheTopOfTheAddressSpaceGiveNothing) {
    EXPECT_TRUE(catalogue.sectorsInRange(0xFFFFFFFF, 0x4000, 0x53).empty());
    EXPECT_TRUE(catalogue.sectorsInRange(0xFFFFFFFF, 1, 0x53).empty());
    EXPECT_TRUE(catalogue.sectorsInRange(0xFFFFF000, 0x2000, 0x53).empty());
    EXPECT_TRUE(catalogue.sectorsInRange(0x2000, 0xFFFFFFFF, 0x53).empty());
    EXPECT_TRUE(catalogue.sectorsInRange(0x10000, 0, 0x53).empty());
}

TEST_F(SectorsInRange, NeverASectorStartingOutsideTheRange) {
    const std::uint32_t starts[] = {0x0, 0x1000, 0x2000, 0xFFFF, 0x3FFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFE000};
    const std::uint32_t lengths[] = {1, 0x1FFF, 0x2000, 0x10001, 0x400000, 0x80000000, 0xFFFFFFFF};
    for (std::uint32_t start : starts) {
        for (std::uint32_t length : lengths) {
            const std::uint64_t last = std::uint64_t{start} + length - 1;
            for (const FlashSector& sector : catalogue.sectorsInRange(start, length, 0x53)) {
                EXPECT_GE(sector.start, start) << start << "+" << length;
                EXPECT_LE(sector.start, last) << start << "+" << length;
            }
        }
    }
}

class DetectedIdentity : public ::testing::Test {
protected:
    FlashCatalogue catalogue;
};

TEST_F(DetectedIdentity, FujitsuCorvelChip) {
    catalogue.setDetected(0x04, 0x53);
    EXPECT_EQ(catalogue.chipSize(), 0x400000u);
    EXPECT_EQ(catalogue.chipName(), "MBM29DL323BE");
    EXPECT_EQ(catalogue.vendorName(), "Fujitsu");
    EXPECT_EQ(catalogue.flashId(), 0x0453);
    EXPECT_EQ(catalogue.platform(), TargetPlatform::Corvel);
}

TEST_F(DetectedIdentity, IdsKnownEachByItselfButNotAsAPair) {
    catalogue.setDetected(0x01, 0x56);
    EXPECT_TRUE(catalogue.isKnownDevice());
    EXPECT_TRUE(catalogue.isKnownManufacturer());
    EXPECT_EQ(catalogue.chipName(), kNotFound);
    EXPECT_EQ(catalogue.vendorName(), "AMD");
    EXPECT_EQ(catalogue.platform(), TargetPlatform::Unknown);
    // The size is looked up by the device id alone.
    EXPECT_EQ(catalogue.chipSize(), 0x400000u);
}

TEST_F(DetectedIdentity, AtmelSabrelChip) {
    catalogue.setDetected(0x1F, 0xC0);
    EXPECT_EQ(catalogue.flashId(), 0x1FC0);
    EXPECT_EQ(catalogue.platform(), TargetPlatform::Sabrel);
    EXPECT_EQ(catalogue.chipSize(), 0x200000u);
}

TEST_F(DetectedIdentity, CataloguedChipWithoutAPlatform) {
    catalogue.setDetected(0x04, 0x56);
    EXPECT_EQ(catalogue.chipName(), "MBM29DL322BE");
    EXPECT_EQ(catalogue.platform(), TargetPlatform::Unknown);
}

TEST_F(DetectedIdentity, NothingReadYet) {
    EXPECT_EQ(catalogue.flashId(), 0);
    EXPECT_EQ(catalogue.chipSize(), 0u);
    EXPECT_EQ(catalogue.platform(), TargetPlatform::Unknown);
    EXPECT_TRUE(catalogue.isKnownDevice());
    EXPECT_TRUE(catalogue.isKnownManufacturer());
    EXPECT_EQ(catalogue.chipName(), "Unknown");
}

TEST_F(DetectedIdentity, ZeroManufacturerGivesNoSize) {
    catalogue.setDetected(0x00, 0x53);
    EXPECT_EQ(catalogue.chipSize(), 0u);
}

TEST_F(DetectedIdentity, FlashIdUsesOnlyTheLowBytes) {
    catalogue.setDetected(0x1204, 0x3453);
    EXPECT_EQ(catalogue.flashId(), 0x0453);
}

TEST_F(DetectedIdentity, ExplicitIdsOverrideTheDetectedOnes) {
    catalogue.setDetected(0x04, 0x53);
    EXPECT_EQ(catalogue.vendorName(0x1F), "Atmel");
    EXPECT_EQ(catalogue.vendorName(0x22), kNotFound);
    EXPECT_EQ(catalogue.chipName(0x53, 0x01), "AM29DL323GB");
    EXPECT_FALSE(catalogue.isKnownDevice(0x99));
    EXPECT_FALSE(catalogue.isKnownManufacturer(0x22));
}

}  // namespace
}  // namespace tarnwick
