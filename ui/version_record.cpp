// SPDX-License-Identifier: GPL-2.0-or-later
#include "version_record.h"

#include <cstdio>

#include "build_version.h"

namespace tarnwick {
namespace {

// "v%u.%02u", with "-rc%u" while the release-candidate number is not 0.
std::string versionText(const VersionRecord& record) {
    const auto [major, minor, candidate, build] = record.productVersion;
    char text[40];
    if (candidate != 0) {
        std::snprintf(text, sizeof text, "v%u.%02u-rc%u", unsigned{major}, unsigned{minor}, unsigned{candidate});
    } else {
        std::snprintf(text, sizeof text, "v%u.%02u", unsigned{major}, unsigned{minor});
    }
    return text;
}

}  // namespace

const VersionRecord& programVersion() {
    static constexpr VersionRecord record{
        build::kProductName,
        build::kCompanyName,
        build::kLegalCopyright,
        {build::kProductVersion[0], build::kProductVersion[1], build::kProductVersion[2], build::kProductVersion[3]},
        build::kLicense,
    };
    return record;
}

std::string windowCaption(const VersionRecord& record) {
    return std::string(record.productName) + " " + versionText(record);
}

std::string aboutText(const VersionRecord& record) {
    return std::string(record.productName) + "\n" + versionText(record) + "\n\n" +
           std::string(record.legalCopyright) + "\n" + std::string(record.companyName) + "\n" +
           std::string(record.license) + "\n";
}

}  // namespace tarnwick
