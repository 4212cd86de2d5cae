// SPDX-License-Identifier: GPL-2.0-or-later
// Reads any bytes as a package file, then loads the data of every item it found.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "package_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tarnwick::Package package("fuzz", "fuzz.xml");
    if (!tarnwick::ReadPackageText(package, text)) {
        return 0;
    }
    for (tarnwick::PackageItem& item : package.items()) {
        try {
            tarnwick::LoadItemDataFromText(text, item);
        } catch (const tarnwick::PackageDataError&) {
        }
    }
    return 0;
}
