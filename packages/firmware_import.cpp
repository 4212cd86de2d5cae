#include "firmware_import.h"

#include <algorithm>
#include <span>
#include <vector>

#include "file_io.h"

namespace tarnwick {
namespace {

constexpr std::string_view kMarker = "(@)# ";
// The marker text is the piece of this size that follows the marker.
constexpr std::size_t kMarkerTextSize = 1023;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
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

// Offset just past the first marker. A byte that breaks a partial match is
// not retried as a new start, so "((@)# " holds no marker.
std::optional<std::size_t> FindMarkerEnd(std::span<const std::uint8_t> bytes) {
    std::size_t matched = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        matched = bytes[i] == static_cast<std::uint8_t>(kMarker[matched]) ? matched + 1 : 0;
        if (matched == kMarker.size()) {
            return i + 1;
        }
    }
    return std::nullopt;
}

// Up to one piece after the marker. The marker text is a C string inside the
// image: it ends at the first zero byte.
std::string MarkerText(std::span<const std::uint8_t> bytes, std::size_t start) {
    const auto piece = bytes.subspan(start, std::min(kMarkerTextSize, bytes.size() - start));
    std::string text(piece.begin(), piece.end());
    text.resize(std::min(text.find('\0'), text.size()));
    return text;
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
    if (path.empty()) {
        return std::nullopt;
    }
    const auto contents = ReadBinaryFile(path);
    if (!contents.ok()) {
        return std::nullopt;
    }
    const auto markerEnd = FindMarkerEnd(contents.bytes);
    if (!markerEnd) {
        return std::nullopt;
    }
    const std::string text = MarkerText(contents.bytes, *markerEnd);
    const auto words = SplitWords(text, 2);
    if (words.size() < 2) {
        return std::nullopt;
    }
    return VersionMarker{std::string(words[0]), MarkerVersion(words[1])};
}

FirmwareInfo FirmwareInfoFromPath(std::string_view path) {
    const std::string lowerPath = LowerAscii(path);
    return FirmwareInfo{CameraTypeFromPath(lowerPath), VersionFromPath(lowerPath)};
}

FirmwareInfo DeriveFirmwareInfo(const std::string& path) {
    if (const auto marker = ReadVersionMarker(path)) {
        return FirmwareInfo{kNoCameraModel, marker->version};
    }
    return FirmwareInfoFromPath(path);
}

void ImportFirmwareInfo(PackageItem& item) {
    const FirmwareInfo info = DeriveFirmwareInfo(item.fileName);
    item.cameraType = info.cameraType;
    item.version = info.version;
}

}  // namespace tarnwick
