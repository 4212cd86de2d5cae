// SPDX-License-Identifier: GPL-2.0-or-later
// What the window's start-up spends on packages: loading a package list of
// 20 packages of about 6 MB each, against the half second that start-up as
// a whole may take.
#include <cstdio>

#include "bench.h"
#include "package_file.h"
#include "package_store.h"

namespace tarnwick::bench {

void writeSixMegabytePackageList(const std::filesystem::path& folder, int packages) {
    const std::filesystem::path original = writeSixMegabytePackage(folder);
    SilentMessages messages;
    PackageStore store;
    for (int index = 0; index < packages; ++index) {
        const std::filesystem::path path = folder / ("package-" + std::to_string(index) + ".xml");
        std::filesystem::copy_file(original, path);
        if (auto package = OpenPackage("Package " + std::to_string(index), path.string(), messages)) {
            store.Add(std::move(*package));
        }
    }
    SavePackageList(store, folder.string(), messages);
}

void benchPackageList() {
    const ScratchFolder folder;
    writeSixMegabytePackageList(folder.path(), kStartupPackages);
    SilentMessages messages;
    const std::string listFile = PackageListPath(folder.path().string());
    std::size_t loaded = 0;
    const double seconds = fastest([&] {
        PackageStore startup;
        LoadPackageListFile(startup, listFile, messages);
        loaded = startup.size();
    });
    char name[64];
    std::snprintf(name, sizeof name, "package list of %zu x 6 MB packages", loaded);
    report(name, seconds, "start-up budget", kStartupBudgetSeconds);
}

}  // namespace tarnwick::bench
