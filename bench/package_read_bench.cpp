// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a package of about 6 MB as `tarnwick-cli inspect` does, against
// `xmllint --noout` on the same file: time, and peak memory above what
// each program takes for a tiny package, as a share of the file's size.
#include <cstdio>

#include "bench.h"
#include "file_io.h"
#include "package_writer.h"

namespace tarnwick::bench {
namespace {

PackedFile packed(std::string_view typeName, std::vector<std::uint8_t> image) {
    PackedFile file;
    file.type = imageTypeNamed(typeName).guid;
    file.fileName = std::string(typeName.substr(typeName.find(':') + 2)) + ".bin";
    file.image = std::move(image);
    return file;
}

std::filesystem::path writePackage(const std::filesystem::path& path, std::vector<PackedFile> files) {
    PackageContents contents;
    contents.name = path.stem().string();
    contents.files = std::move(files);
    if (ReplaceFile(path, BuildPackageText(contents))) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return path;
}

struct Measured {
    ChildRun large;
    // What reading the large package takes beyond the program's own size,
    // as a share of the file's size.
    double memoryShare = 0;
};

Measured measure(std::vector<std::string> command, const std::filesystem::path& large,
                 const std::filesystem::path& tiny) {
    command.push_back(large.string());
    Measured measured;
    measured.large = fastestChild(command, 11);
    const long largePeak = peakKilobytes(command);
    command.back() = tiny.string();
    const long tinyPeak = peakKilobytes(command);
    measured.memoryShare = static_cast<double>(largePeak - tinyPeak) * 1024.0 /
                           static_cast<double>(std::filesystem::file_size(large));
    return measured;
}

}  // namespace

std::filesystem::path writeSixMegabytePackage(const std::filesystem::path& folder) {
    std::vector<PackedFile> files;
    for (const std::string_view name : {"Corvel::FLASH", "Corvel::uC"}) {
        files.push_back(packed(name, sevenBitImage(imageRoomInRegion(imageTypeNamed(name)), files.size() + 1)));
    }
    return writePackage(folder / "six-megabytes.xml", std::move(files));
}

void benchPackageRead() {
    const ScratchFolder folder;
    const std::filesystem::path large = writeSixMegabytePackage(folder.path());
    const std::filesystem::path tiny = writePackage(folder.path() / "tiny.xml", [] {
        std::vector<PackedFile> files;
        files.push_back(packed("Corvel::uC", sevenBitImage(1000, 3)));
        return files;
    }());
    const std::uintmax_t size = std::filesystem::file_size(large);
    const Measured inspect = measure({builtProgram("cli", "tarnwick-cli").string(), "inspect"}, large, tiny);
    const Measured xmllint = measure({"xmllint", "--noout"}, large, tiny);
    if (!inspect.large.succeeded || !xmllint.large.succeeded) {
        std::printf("package read: tarnwick-cli or xmllint did not run (build tarnwick-cli, install libxml2-utils)\n");
        return;
    }
    char name[64];
    std::snprintf(name, sizeof name, "inspect of a %.1f MB package", static_cast<double>(size) / 1e6);
    report(name, inspect.large.seconds, "xmllint --noout of it", xmllint.large.seconds);
    reportFigure("  its peak memory / file size", inspect.memoryShare, "xmllint's", xmllint.memoryShare, "x");
}

}  // namespace tarnwick::bench
