// SPDX-License-Identifier: GPL-2.0-or-later
// Reads any bytes as the package list file, then checks that the list it
// loaded is written and read back unchanged.
//
// The scratch folder holds a package file "a.xml" and a firmware file
// "f.bin"; an input names that folder as "@/", so that its paths can name
// real files. (Changing the working folder would hide the corpus from
// libFuzzer.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_scratch.h"
#include "guid.h"
#include "package_store.h"

namespace {

constexpr std::string_view kPackageFile =
    "<updatepackage>\r\n<time>1</time>\r\n<packagename>Seed</packagename>\r\n<file>\r\n"
    "<guid>{728F4F3D-0BED-499A-8385-5ECBE8116317}</guid>\r\n<file>tiny.bin</file>\r\n<type>0</type>\r\n"
    "<version>0</version>\r\n<size>14</size>\r\n<time>2</time>\r\n<bz2size>51</bz2size>\r\n"
    "<b64size>68</b64size>\r\n<data>QlpoOTFBWSZTWW2SiqwAAAKRgEAAI2aQgCAAIgAxCAaaaAl170HIBXi7kinChINslFVg</data>\r\n"
    "</file>\r\n</updatepackage>\r\n";
constexpr std::string_view kFirmwareFile = "\x7F" "ELF....(@)# Corvel V2.07 built today";

class SilentMessages final : public tarnwick::UserMessages {
public:
    void showMessage(std::string_view, std::string_view, tarnwick::MessageIcon) override {}
};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string WriteScratch(const std::string& name, std::string_view text) {
    return tarnwick::fuzzing::Scratch()
        .write(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size())
        .string();
}

std::string WithScratchFolder(std::string_view input) {
    const std::string folder = tarnwick::fuzzing::Scratch().path().string() + "/";
    std::string text;
    for (std::size_t at = 0; at < input.size(); ++at) {
        if (input.substr(at, 2) == "@/") {
            text += folder;
            ++at;
        } else {
            text += input[at];
        }
    }
    return text;
}

// What the list file keeps of a package: only packages with items are written.
std::vector<std::string> Summary(const tarnwick::PackageStore& store) {
    std::vector<std::string> lines;
    for (std::size_t index = 0; index < store.size(); ++index) {
        const tarnwick::Package& package = store[index];
        require(!package.name().empty());
        if (package.itemCount() == 0) {
            continue;
        }
        lines.push_back(package.name() + "|" + package.path());
        for (const tarnwick::PackageItem& item : package.items()) {
            lines.push_back(tarnwick::FormatGuid(item.typeGuid) + "|" + item.fileName + "|" +
                            std::to_string(item.cameraType) + "|" + std::to_string(item.version));
        }
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    WriteScratch("a.xml", kPackageFile);
    WriteScratch("f.bin", kFirmwareFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilentMessages messages;
    tarnwick::PackageStore store;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tarnwick::LoadPackageListFile(store, WriteScratch("list.xml", WithScratchFolder(input)), messages);

    tarnwick::PackageStore reloaded;
    tarnwick::LoadPackageListFile(reloaded, WriteScratch("again.xml", tarnwick::BuildPackageListText(store)),
                                  messages);
    require(Summary(reloaded) == Summary(store));
    return 0;
}
