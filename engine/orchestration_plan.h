// SPDX-License-Identifier: GPL-2.0-or-later
// What the update commands decide before anything is queued: which jobs an
// item gets, in which order the items of a package are programmed, whether a
// package suits the connected camera, and why a single-item command refuses.
//
// Pure functions over the catalogues, the package and the target's reported
// values; safe on any thread. The update orchestrator turns the planned jobs
// into the worker's queue operations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogues.h"
#include "flash_catalogue.h"
#include "package_model.h"
#include "target_info.h"

namespace tarnwick {

// Texts of the update commands' message boxes.
inline constexpr std::string_view kProgramCaption = "Tarnwick";
inline constexpr std::string_view kRequiresBootCodeText = "Requires boot code BLS%u.%u to be running...";
inline constexpr std::string_view kUnknownPlatformText = "Unknown platform - can't erase...";
inline constexpr std::string_view kCantLoadPackageText = "Can't load package file... (Error: 0x%02X)";
inline constexpr std::string_view kDoProgramFailedText = "DoProgram failed: %s";
inline constexpr std::string_view kNotForSabrelText = "Package not suitable for Sabrel cameras!";
inline constexpr std::string_view kNotForCorvelText = "Package not suitable for Corvel cameras!";
// A camera of no known family would otherwise see the link close without a
// word when the package is refused.
inline constexpr std::string_view kNotForUnknownText = "Package not suitable for unknown cameras!";
// Every item was dropped while the package was read, or none has a place in
// the flash: an update would program nothing and pass for a success.
inline constexpr std::string_view kNoUsableItemText = "%s lists no item this program can use";
// A successful update that programmed nothing says why instead.
inline constexpr std::string_view kNothingToProgramText =
    "Nothing to program: the camera's boot code %u.%02u is as new as the package's %s";

// From this boot code version on, programming is read back and compared.
inline constexpr std::uint32_t kFirstVerifyingBootVersion = 201;

// One queue operation of the worker. The erase becomes a chip erase in the
// worker when the region is the whole detected chip.
enum class BatchStep { Erase, Write, SetChecksum, Verify, GetChecksum, BlankCheck };

struct PlannedJob {
    BatchStep step;
    std::uint32_t start;
    std::uint32_t length;
    // The image of Write and Verify; nullptr for the other steps.
    PackageItem* item = nullptr;

    friend bool operator==(const PlannedJob&, const PlannedJob&) = default;
};

// The boot code version the commands compare with: the number read afresh
// from the version text, 0 when none can be read.
std::uint32_t RunningBootVersion(const TargetInfo& target);

// Types of families without a fixed address have no region in the flash.
bool HasFlashRegion(const ImageType& type);

// Erase, write, set checksum (sectorCrc types), verify (from boot code 2.01
// unless skipVerify), get checksum (sectorCrc types), blank check. Empty for
// a type without a flash region.
std::vector<PlannedJob> ProgrammingBatch(const ImageType& type, PackageItem& item, std::uint32_t bootVersion,
                                         bool skipVerify);

// Erase, blank check, get checksum; empty for a type without a flash region.
std::vector<PlannedJob> EraseBatch(const ImageType& type);

// Get checksum, blank check; empty for a type without a flash region, so that
// nothing at all is asked about an address the flash does not have.
std::vector<PlannedJob> InfoBatch(const ImageType& type);

// A boot loader is left alone when the running boot code (known, not 0) is
// at least as new as the package's.
bool SkipsBootLoader(const ImageType& type, const PackageItem& item, std::uint32_t bootVersion);

// The programming batches of every item of the package, in catalogue order
// whatever the order of the items; one item per image type (the first).
std::vector<PlannedJob> UpdateBatch(Package& package, std::uint32_t bootVersion, bool skipVerify);

// Every item is of the camera's family. An empty package suits every camera.
bool PackageSuits(const Package& package, TargetPlatform platform);

// The warning shown when a package does not suit the camera.
std::string_view UnsuitablePackageText(TargetPlatform platform);

// Why Erase and Erase && Program refuse an item of this type on the
// connected camera, or nothing when they may go on.
std::optional<std::string> SingleItemRefusal(const ImageType& type, std::uint32_t bootVersion,
                                             const FlashCatalogue& flash);

// Why an update refuses a package none of whose items it could program (a
// catalogue type with a flash region); the package is named by its path, or
// by its name when the user built it. Nothing when there is such an item.
std::optional<std::string> NoUsableItemRefusal(const Package& package);

// What an update that queued no job for a suitable package says: the boot
// loaders it skipped because the running boot code is as new as each.
std::string NothingToProgramText(const Package& package, std::uint32_t bootVersion);

// Why a package that lists an image type twice is refused: only one of its
// images could be programmed.
std::optional<std::string> RepeatedTypeRefusal(const Package& package);

// Why a loaded image cannot be programmed: it leaves no room for the length
// word at its region's end. Nothing for an item without data or region.
std::optional<std::string> OversizedImageRefusal(const PackageItem& item);
// The first such refusal among the package's items.
std::optional<std::string> OversizedImageRefusal(const Package& package);

// The texts of failed loads for Erase && Program.
std::string CantLoadPackageText(std::uint32_t resultCode);
std::string DoProgramFailedText(std::string_view raised);

}  // namespace tarnwick
