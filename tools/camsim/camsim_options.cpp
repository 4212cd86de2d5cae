// SPDX-License-Identifier: GPL-2.0-or-later
#include "camsim_options.h"

#include <charconv>
#include <optional>

namespace tarnwick {
namespace {

constexpr int kLargestPort = 9999;
constexpr long kLongestReadyDelayMs = 600000;
constexpr long kLowestBitRate = 50;
constexpr long kHighestBitRate = 4000000;

std::optional<long> numberIn(const std::string& text, long lowest, long highest) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

// Applies one option with its value; the text of the fault, or nothing.
std::optional<std::string> apply(CameraOptions& options, const std::string& name, const std::string& value) {
    if (name == "--port") {
        const auto number = numberIn(value, 1, kLargestPort);
        if (!number) {
            return "--port needs a number from 1 to 9999";
        }
        options.portNumber = static_cast<int>(*number);
    } else if (name == "--chip") {
        options.chip = value;
    } else if (name == "--boot-version") {
        options.versionText = value;
    } else if (name == "--flash") {
        options.flashFile = value;
    } else if (name == "--ready-delay") {
        const auto delay = numberIn(value, 0, kLongestReadyDelayMs);
        if (!delay) {
            return "--ready-delay needs milliseconds from 0 to 600000";
        }
        options.readyDelay = std::chrono::milliseconds(*delay);
    } else if (name == "--reset-on-open") {
        if (value != "yes" && value != "no") {
            return "--reset-on-open needs yes or no";
        }
        options.resetOnOpen = value == "yes";
    } else if (name == "--bps") {
        const auto rate = numberIn(value, kLowestBitRate, kHighestBitRate);
        if (!rate) {
            return "--bps needs a bit rate from 50 to 4000000";
        }
        options.bitsPerSecond = static_cast<std::uint32_t>(*rate);
    } else {
        return "unknown option " + name;
    }
    return std::nullopt;
}

}  // namespace

CamsimArguments parseCamsimArguments(std::span<const std::string> args) {
    CameraOptions options;
    for (std::size_t index = 0; index < args.size(); ++index) {
        const std::string& name = args[index];
        if (name == "--help" || name == "-h") {
            return CamsimHelp{};
        }
        if (name == "--version") {
            return CamsimVersion{};
        }
        if (index + 1 == args.size()) {
            return name.starts_with("--") ? name + " needs a value" : "unexpected argument " + name;
        }
        if (auto fault = apply(options, name, args[++index])) {
            return *fault;
        }
    }
    return options;
}

}  // namespace tarnwick
