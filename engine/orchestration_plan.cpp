// SPDX-License-Identifier: GPL-2.0-or-later
#include "orchestration_plan.h"

#include <algorithm>
#include <cstdio>

#include "boot_commands.h"

namespace tarnwick {
namespace {

// The format tables above are literals, so data() ends with a zero byte.
template <typename... Args>
std::string Format(std::string_view format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format.data(), args...);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format.data(), args...);
    return text;
}

PlannedJob RegionJob(BatchStep step, const ImageType& type, PackageItem* item = nullptr) {
    return PlannedJob{step, type.startAddress, type.regionSize, item};
}

}  // namespace

std::uint32_t RunningBootVersion(const TargetInfo& target) {
    return parseBootVersion(target.versionText).value_or(0);
}

bool HasFlashRegion(const ImageType& type) {
    return type.startAddress != kNoFixedAddress;
}

std::vector<PlannedJob> ProgrammingBatch(const ImageType& type, PackageItem& item, std::uint32_t bootVersion,
                                         bool skipVerify) {
    if (!HasFlashRegion(type)) {
        return {};
    }
    std::vector<PlannedJob> jobs{RegionJob(BatchStep::Erase, type), RegionJob(BatchStep::Write, type, &item)};
    if (type.sectorCrc) {
        jobs.push_back(RegionJob(BatchStep::SetChecksum, type));
    }
    if (bootVersion >= kFirstVerifyingBootVersion && !skipVerify) {
        jobs.push_back(RegionJob(BatchStep::Verify, type, &item));
    }
    if (type.sectorCrc) {
        jobs.push_back(RegionJob(BatchStep::GetChecksum, type));
    }
    jobs.push_back(RegionJob(BatchStep::BlankCheck, type));
    return jobs;
}

std::vector<PlannedJob> EraseBatch(const ImageType& type) {
    if (!HasFlashRegion(type)) {
        return {};
    }
    return {RegionJob(BatchStep::Erase, type), RegionJob(BatchStep::BlankCheck, type),
            RegionJob(BatchStep::GetChecksum, type)};
}

std::vector<PlannedJob> InfoBatch(const ImageType& type) {
    if (!HasFlashRegion(type)) {
        return {};
    }
    return {RegionJob(BatchStep::GetChecksum, type), RegionJob(BatchStep::BlankCheck, type)};
}

bool SkipsBootLoader(const ImageType& type, const PackageItem& item, std::uint32_t bootVersion) {
    return type.isBootCode && type.checkBootVersion && bootVersion != 0 &&
           VersionOnBootScale(item.version) <= bootVersion;
}

std::vector<PlannedJob> UpdateBatch(Package& package, std::uint32_t bootVersion, bool skipVerify) {
    std::vector<PlannedJob> jobs;
    for (const ImageType& type : ImageTypes()) {
        PackageItem* item = package.FindItemByGuid(type.guid);
        if (item == nullptr || SkipsBootLoader(type, *item, bootVersion)) {
            continue;
        }
        const std::vector<PlannedJob> batch = ProgrammingBatch(type, *item, bootVersion, skipVerify);
        jobs.insert(jobs.end(), batch.begin(), batch.end());
    }
    return jobs;
}

bool PackageSuits(const Package& package, TargetPlatform platform) {
    for (const PackageItem& item : package.items()) {
        if (item.platform != static_cast<std::uint32_t>(platform)) {
            return false;
        }
    }
    return true;
}

std::string_view UnsuitablePackageText(TargetPlatform platform) {
    switch (platform) {
    case TargetPlatform::Sabrel:
        return kNotForSabrelText;
    case TargetPlatform::Corvel:
        return kNotForCorvelText;
    case TargetPlatform::Unknown:
        break;
    }
    return kNotForUnknownText;
}

std::optional<std::string> SingleItemRefusal(const ImageType& type, std::uint32_t bootVersion,
                                             const FlashCatalogue& flash) {
    if (type.minBootVersion != 0 && type.minBootVersion > bootVersion) {
        return Format(kRequiresBootCodeText, type.minBootVersion / 100, type.minBootVersion % 100);
    }
    if (flash.flashId() == 0) {
        return std::string(kUnknownPlatformText);
    }
    return std::nullopt;
}

std::optional<std::string> NoUsableItemRefusal(const Package& package) {
    const bool usable = std::ranges::any_of(package.items(), [](const PackageItem& item) {
        const ImageType* type = FindImageType(item.typeGuid);
        return type != nullptr && HasFlashRegion(*type);
    });
    if (usable) {
        return std::nullopt;
    }
    return Format(kNoUsableItemText, (package.isUserBuilt() ? package.name() : package.path()).c_str());
}

std::string NothingToProgramText(const Package& package, std::uint32_t bootVersion) {
    std::string skipped;
    for (const PackageItem& item : package.items()) {
        const ImageType* type = FindImageType(item.typeGuid);
        if (type != nullptr && SkipsBootLoader(*type, item, bootVersion)) {
            skipped += (skipped.empty() ? "" : ", ") + item.typeName + " " + FormatVersion(item.version);
        }
    }
    return Format(kNothingToProgramText, bootVersion / 100, bootVersion % 100, skipped.c_str());
}

std::optional<std::string> RepeatedTypeRefusal(const Package& package) {
    if (const ImageType* twice = findDuplicateImageType(package)) {
        return DuplicateImageTypeText(*twice);
    }
    return std::nullopt;
}

std::optional<std::string> OversizedImageRefusal(const PackageItem& item) {
    const ImageType* type = FindImageType(item.typeGuid);
    if (type == nullptr || !HasFlashRegion(*type) || item.dataLength() <= imageRoomInRegion(*type)) {
        return std::nullopt;
    }
    return OversizedImageText(item.typeName, item.dataLength(), imageRoomInRegion(*type));
}

std::optional<std::string> OversizedImageRefusal(const Package& package) {
    for (const PackageItem& item : package.items()) {
        if (std::optional<std::string> refusal = OversizedImageRefusal(item)) {
            return refusal;
        }
    }
    return std::nullopt;
}

std::string CantLoadPackageText(std::uint32_t resultCode) {
    return Format(kCantLoadPackageText, resultCode);
}

std::string DoProgramFailedText(std::string_view raised) {
    const std::string text(raised);
    return Format(kDoProgramFailedText, text.c_str());
}

}  // namespace tarnwick
