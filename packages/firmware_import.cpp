// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware_import.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "ascii_case.h"

namespace tarnwick {
namespace {

constexpr std::string_view kMarker = "(@)# ";
// The file is searched in pieces of this size, and the marker text is the
// piece that follows the marker.
constexpr std::size_t kPieceSize = 1023;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Digits from the start of text; unsigned arithmetic wraps like the device's.
std::uint32_t DigitsValue(std::string_view text, std::size_t& pos) {
    std::uint32_t value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
        ++pos;
    }
    return value;
}

// Leading decimal number: white space skipped, optional sign, digits.
std::uint32_t LeadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsWhiteSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::uint32_t value = DigitsValue(text, pos);
    return negative ? 0u - value : value;
}

// Counts the marker bytes matched so far across the pieces of one file. A
// byte that breaks a partial match is not retried as a new start, so
// "((@)# " holds no marker.
class MarkerMatcher {
public:
    // Offset within the piece just past the marker's last byte, when the
    // marker ends in this piece.
    std::optional<std::size_t> Feed(std::span<const char> piece) {
        for (std::size_t i = 0; i < piece.size(); ++i) {
            matched_ = piece[i] == kMarker[matched_] ? matched_ + 1 : 0;
            if (matched_ == kMarker.size()) {
                return i + 1;
            }
        }
        return std::nullopt;
    }

private:
    std::size_t matched_ = 0;
};

// Reads the file from its start piece by piece, so that a large FPGA image is
// read only as far as its marker. The file offset just past the first marker.
std::optional<std::streamoff> FindMarkerEnd(std::istream& file) {
    std::array<char, kPieceSize> piece{};
    MarkerMatcher matcher;
    std::streamoff pieceStart = 0;
    while (file.read(piece.data(), piece.size()) || file.gcount() > 0) {
        const auto got = static_cast<std::size_t>(file.gcount());
        if (const auto end = matcher.Feed(std::span<const char>(piece.data(), got))) {
            return pieceStart + static_cast<std::streamoff>(*end);
        }
        pieceStart += static_cast<std::streamoff>(got);
    }
    return std::nullopt;
}

// One piece after the marker. The marker text is a C string inside the
// image: it ends at the first zero byte.
std::string MarkerText(std::istream& file, std::streamoff start) {
    file.clear();
    file.seekg(start);
    std::string text(kPieceSize, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    text.resize(std::min(text.find('\0'), text.size()));
    return text;
}

// Only regular files are opened: a pipe or a device would block or never end.
bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::vector<std::string_view> SplitWords(std::string_view text, std::size_t wanted) {
    std::vector<std::string_view> words;
    std::size_t pos = text.find_first_not_of(' ');
    while (pos != std::string_view::npos && words.size() < wanted) {
        const std::size_t end = text.find(' ', pos);
        words.push_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end == std::string_view::npos ? end : text.find_first_not_of(' ', end);
    }
    return words;
}

// "V1.02" gives 0x0102; "7" alone gives 7, not shifted.
std::uint32_t MarkerVersion(std::string_view word) {
    std::size_t pos = 0;
    while (pos < word.size() && !IsDigit(word[pos])) {
        ++pos;
    }
    const std::uint32_t major = DigitsValue(word, pos);
    if (pos >= word.size()) {
        return major;
    }
    ++pos;
    const std::uint32_t minor = DigitsValue(word, pos);
    return (major << 8) | minor;
}

// The first two words of the marker text; nothing without a second word.
std::optional<VersionMarker> MarkerFromText(std::string_view text) {
    const auto words = SplitWords(text, 2);
    if (words.size() < 2) {
        return std::nullopt;
    }
    return VersionMarker{std::string(words[0]), MarkerVersion(words[1])};
}

std::uint32_t CameraTypeFromPath(std::string_view lowerPath) {
    for (const CameraModel& model : CameraModels()) {
        if (lowerPath.find(LowerAscii(model.name)) != std::string_view::npos) {
            return model.id;
        }
    }
    return kNoCameraModel;
}

std::uint32_t VersionFromPath(std::string_view lowerPath) {
    const std::size_t dash = lowerPath.rfind('-');
    if (dash == std::string_view::npos) {
        return 0;
    }
    const std::string_view tail = lowerPath.substr(dash + 1);
    const std::uint32_t major = LeadingNumber(tail);
    const std::size_t dot = tail.find('.');
    if (dot == std::string_view::npos) {
        return major * 256;
    }
    return major * 256 + LeadingNumber(tail.substr(dot + 1));
}

}  // namespace

std::optional<VersionMarker> ReadVersionMarker(const std::string& path) {
    if (!IsRegularFile(path)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    const auto markerEnd = file ? FindMarkerEnd(file) : std::nullopt;
    if (!markerEnd) {
        return std::nullopt;
    }
    return MarkerFromText(MarkerText(file, *markerEnd));
}

std::optional<VersionMarker> FindVersionMarker(std::span<const std::uint8_t> image) {
    const std::span<const char> text(reinterpret_cast<const char*>(image.data()), image.size());
    const std::optional<std::size_t> markerEnd = MarkerMatcher().Feed(text);
    if (!markerEnd) {
        return std::nullopt;
    }
    const std::string_view after(text.data() + *markerEnd, std::min(text.size() - *markerEnd, kPieceSize));
    return MarkerFromText(after.substr(0, after.find('\0')));
}

FirmwareInfo FirmwareInfoFromPath(std::string_view path) {
    const std::string lowerPath = LowerAscii(path);
    return FirmwareInfo{CameraTypeFromPath(lowerPath), VersionFromPath(lowerPath)};
}

FirmwareIdentity IdentifyFirmware(const std::string& path) {
    auto marker = ReadVersionMarker(path);
    if (marker) {
        return FirmwareIdentity{FirmwareInfo{kNoCameraModel, marker->version}, std::move(marker)};
    }
    return FirmwareIdentity{FirmwareInfoFromPath(path), std::nullopt};
}

FirmwareInfo DeriveFirmwareInfo(const std::string& path) {
    return IdentifyFirmware(path).info;
}

void ImportFirmwareInfo(PackageItem& item) {
    const FirmwareInfo info = DeriveFirmwareInfo(item.fileName);
    item.cameraType = info.cameraType;
    item.version = info.version;
}

}  // namespace tarnwick
