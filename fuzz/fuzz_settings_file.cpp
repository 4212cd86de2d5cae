// SPDX-License-Identifier: GPL-2.0-or-later
// Reads any bytes as the settings file, then checks that what was read
// survives being written back: the values the system writes and the ones it
// only keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_scratch.h"
#include "settings_store.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A text the store must give back as written: below 1024 bytes, no zero.
std::string TextFrom(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 1023));
    return text.substr(0, text.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarnwick::SettingsStore store(tarnwick::fuzzing::Scratch().write("Settings.reg", data, size));
    const tarnwick::Settings settings = store.load();
    const std::string configPath = store.readText(tarnwick::kConfigPathValue, "unset");
    const std::string odd = store.readText("Odd", "unset");

    require(!store.save(settings));
    require(store.load() == settings);
    require(store.readText(tarnwick::kConfigPathValue, "unset") == configPath);
    require(store.readText("Odd", "unset") == odd);

    const std::string text = TextFrom(data, size);
    require(!store.writeText(tarnwick::kConfigPathValue, text));
    require(store.readText(tarnwick::kConfigPathValue, "unset") == text);
    require(store.load() == settings);
    return 0;
}
