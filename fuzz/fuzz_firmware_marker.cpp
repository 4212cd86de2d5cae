// SPDX-License-Identifier: GPL-2.0-or-later
// Searches any bytes, as a raw firmware file, for the version marker and
// compares the finding with a plain search over the whole input; the input
// is also taken as a firmware file's path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "firmware_import.h"
#include "fuzz_scratch.h"

namespace {

constexpr std::string_view kMarker = "(@)# ";
constexpr std::size_t kMarkerTextBytes = 1023;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The first word after the first marker, when a second word follows it. A
// byte that breaks a partial match is not taken as a new start.
std::optional<std::string> ExpectedFirstWord(std::string_view bytes) {
    std::size_t matched = 0;
    std::size_t end = 0;
    while (end < bytes.size() && matched < kMarker.size()) {
        matched = bytes[end++] == kMarker[matched] ? matched + 1 : 0;
    }
    if (matched < kMarker.size()) {
        return std::nullopt;
    }
    std::string_view text = bytes.substr(end, kMarkerTextBytes);
    text = text.substr(0, text.find('\0'));
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t firstEnd = text.find(' ', first);
    if (firstEnd == std::string_view::npos || text.find_first_not_of(' ', firstEnd) == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(text.substr(first, firstEnd - first));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string file = tarnwick::fuzzing::Scratch().write("image.bin", data, size).string();

    const auto marker = tarnwick::ReadVersionMarker(file);
    const auto expected = ExpectedFirstWord(bytes);
    require(marker.has_value() == expected.has_value());
    require(!marker || marker->firstWord == *expected);

    const tarnwick::FirmwareInfo derived = tarnwick::DeriveFirmwareInfo(file);
    require(!marker || derived == tarnwick::FirmwareInfo{tarnwick::kNoCameraModel, marker->version});
    (void)tarnwick::FirmwareInfoFromPath(bytes);
    return 0;
}
