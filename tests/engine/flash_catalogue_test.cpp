// SPDX-License-Identifier: GPL-2.0-or-later
#include "flash_catalogue.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tarnwick {
namespace {

// A row of one sector names it once, as its first.
struct RangeCase {
    const char* name;
    std::uint32_t address;
    std::uint32_t length;
    std::uint32_t device;
    std::size_t count;
    FlashSector first{};
    FlashSector last{};
};

TEST(SectorsInRange, GiveTheSectorsStartingInTheRange) {
    const RangeCase cases[] = {
        {"boot sectors", 0x0, 0x4000, 0x53, 2, {0x0, 0x1FFF, 0x2000, 0, 1}, {0x2000, 0x3FFF, 0x2000, 1, 1}},
        {"bank 1", 0x10000, 0xF0000, 0x53, 15, {0x10000, 0x1FFFF, 0x10000, 8, 1}, {0xF0000, 0xFFFFF, 0x10000, 22, 1}},
        {"bank 2", 0x100000, 0x40000, 0x53, 4, {0x100000, 0x10FFFF, 0x10000, 23, 2},
         {0x130000, 0x13FFFF, 0x10000, 26, 2}},
        {"other Fujitsu map", 0x80000, 0x80000, 0x56, 8, {0x80000, 0x8FFFF, 0x10000, 15, 2},
         {0xF0000, 0xFFFFF, 0x10000, 22, 2}},
        {"range starting inside a sector", 0x1000, 0x2000, 0x53, 1, {0x2000, 0x3FFF, 0x2000, 1, 1}},
        {"one byte selects its whole sector", 0x0, 0x1, 0x53, 1, {0x0, 0x1FFF, 0x2000, 0, 1}},
        {"Corvel chip", 0x0, 0x400000, 0x5F, 71, {0x0, 0x1FFF, 0x2000, 0, 1}, {0x3F0000, 0x3FFFFF, 0x10000, 70, 2}},
        {"Sabrel chip", 0x0, 0x200000, 0xC0, 39, {0x0, 0x1FFF, 0x2000, 0, 1}, {0x1F0000, 0x1FFFFF, 0x10000, 38, 2}},
        {"device without a map", 0x0, 0x40000, 0x26, 0}, {"unknown device", 0x0, 0x40000, 0x99, 0},
        {"start at the top of the address space", 0xFFFFFFFF, 0x4000, 0x53, 0},
        {"range across the top", 0xFFFFF000, 0x2000, 0x53, 0}, {"length across the top", 0x2000, 0xFFFFFFFF, 0x53, 0},
        {"empty range", 0x10000, 0, 0x53, 0}, {"upper half", 0x80000000, 0x4000, 0x53, 0},
    };
    const FlashCatalogue catalogue;
    for (const RangeCase& row : cases) {
        SCOPED_TRACE(row.name);
        const auto sectors = catalogue.sectorsInRange(row.address, row.length, row.device);
        ASSERT_EQ(sectors.size(), row.count);
        if (row.count > 0) {
            EXPECT_EQ(sectors.front(), row.first);
            EXPECT_EQ(sectors.back(), row.count == 1 ? row.first : row.last);
        }
    }
}

struct IdentityCase {
    const char* name;
    std::uint32_t manufacturer;
    std::uint32_t device;
    std::uint32_t chipSize;
    std::string_view vendor;
    std::string_view chip;
    TargetPlatform platform;
};

TEST(DetectedIdentity, LooksEachIdUpByItself) {
    const IdentityCase cases[] = {
        {"Fujitsu chip of the Corvel", 0x04, 0x53, 0x400000, "Fujitsu", "MBM29DL323BE", TargetPlatform::Corvel},
        // Known each by itself but not as a pair; the size goes by the device alone.
        {"AMD with a Fujitsu device", 0x01, 0x56, 0x400000, "AMD", kNotFound, TargetPlatform::Unknown},
        {"Atmel chip of the Sabrel", 0x1F, 0xC0, 0x200000, "Atmel", "AT49BV16x4A", TargetPlatform::Sabrel},
        {"chip without a platform", 0x04, 0x56, 0x400000, "Fujitsu", "MBM29DL322BE", TargetPlatform::Unknown},
        {"nothing read yet", 0x00, 0x00, 0, "Unknown", "Unknown", TargetPlatform::Unknown},
        {"zero manufacturer gives no size", 0x00, 0x53, 0, "Unknown", kNotFound, TargetPlatform::Unknown},
    };
    for (const IdentityCase& row : cases) {
        SCOPED_TRACE(row.name);
        FlashCatalogue catalogue;
        if (row.manufacturer != 0 || row.device != 0) {
            catalogue.setDetected(row.manufacturer, row.device);
        }
        EXPECT_EQ(std::tuple(catalogue.chipSize(), catalogue.vendorName(), catalogue.chipName(), catalogue.platform()),
                  std::tuple(row.chipSize, row.vendor, row.chip, row.platform));
    }
}

TEST(DetectedIdentity, FlashIdTakesTheLowByteOfEachId) {
    FlashCatalogue catalogue;
    catalogue.setDetected(0x1204, 0x3453);
    EXPECT_EQ(catalogue.flashId(), 0x0453);
}

}  // namespace
}  // namespace tarnwick
