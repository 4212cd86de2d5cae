// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_writer.h"

#include <bzlib.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "catalogues.h"
#include "package_file.h"
#include "package_model.h"

namespace tarnwick {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kBestBlockSize = 9;
constexpr int kQuiet = 0;
constexpr int kDefaultWorkFactor = 0;

// Element text with the characters that the reader decodes as entities.
std::string EscapeText(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '&': escaped += "&amp;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

void AppendElement(std::string& text, std::string_view name, std::string_view value) {
    text += '<';
    text += name;
    text += '>';
    text += value;
    text += "</";
    text += name;
    text += ">\r\n";
}

void AppendFileElement(std::string& text, const PackedFile& file) {
    const EncodedImage encoded = EncodeImage(file.image);
    text += "<file>\r\n";
    AppendElement(text, "guid", FormatGuid(file.type));
    AppendElement(text, "file", EscapeText(file.fileName));
    AppendElement(text, "type", std::to_string(file.cameraType));
    AppendElement(text, "version", std::to_string(file.version));
    AppendElement(text, "size", std::to_string(file.image.size()));
    AppendElement(text, "time", std::to_string(file.time));
    AppendElement(text, "bz2size", std::to_string(encoded.bz2size));
    AppendElement(text, "b64size", std::to_string(encoded.base64.size()));
    AppendElement(text, "data", encoded.base64);
    text += "</file>\r\n";
}

}  // namespace

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (left > 1) {
            group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        }
        if (left > 2) {
            group |= bytes[i + 2];
        }
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return text;
}

std::vector<std::uint8_t> CompressBzip2(std::span<const std::uint8_t> bytes) {
    // bzip2's documented worst case: 1% larger plus 600 bytes.
    std::vector<std::uint8_t> stream(bytes.size() + bytes.size() / 100 + 601);
    auto produced = static_cast<unsigned int>(stream.size());
    const int status = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(stream.data()), &produced,
                                                const_cast<char*>(reinterpret_cast<const char*>(bytes.data())),
                                                static_cast<unsigned int>(bytes.size()), kBestBlockSize, kQuiet,
                                                kDefaultWorkFactor);
    if (status != BZ_OK) {
        throw std::runtime_error("bzip2 compression failed (" + std::to_string(status) + ")");
    }
    stream.resize(produced);
    return stream;
}

EncodedImage EncodeImage(std::span<const std::uint8_t> image) {
    const std::vector<std::uint8_t> stream = CompressBzip2(image);
    return EncodedImage{static_cast<std::uint32_t>(stream.size()), EncodeBase64(stream)};
}

std::string BuildPackageText(const PackageContents& contents) {
    std::string text;
    text += '<';
    text += kPackageRootName;
    text += ">\r\n";
    AppendElement(text, "time", std::to_string(contents.time));
    AppendElement(text, "packagename", EscapeText(contents.name));
    for (const PackedFile& file : contents.files) {
        AppendFileElement(text, file);
    }
    text += "</";
    text += kPackageRootName;
    text += ">\r\n";
    return text;
}

std::optional<std::string> ReadBackRefusal(std::string_view text, std::span<const PackedFile> files) {
    Package package("", "");
    if (!ReadPackageText(package, text) || package.itemCount() != files.size()) {
        return "the package does not read back whole";
    }
    if (const ImageType* twice = findDuplicateImageType(package)) {
        return DuplicateImageTypeText(*twice);
    }
    for (std::size_t index = 0; index < files.size(); ++index) {
        PackageItem& item = package.items()[index];
        try {
            if (LoadItemDataFromText(text, item) != LoadResult::Loaded ||
                !std::ranges::equal(item.data(), files[index].image)) {
                return item.typeName + ": the image does not load back as it was packed";
            }
        } catch (const PackageDataError& error) {
            return item.typeName + ": " + error.what();
        }
        const ImageType* type = FindImageType(item.typeGuid);
        if (type != nullptr && item.dataLength() > imageRoomInRegion(*type)) {
            return OversizedImageText(item.typeName, item.dataLength(), imageRoomInRegion(*type));
        }
        item.releaseData();
    }
    return std::nullopt;
}

}  // namespace tarnwick
