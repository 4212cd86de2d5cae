// SPDX-License-Identifier: GPL-2.0-or-later
// Serial ports as they come: the ones there are, and each one the kernel
// adds later (a USB adapter plugged in), told by udev's device events.
//
// One watch per station, used on one thread. A watch that cannot hear the
// events (no udev, or a sandbox without its socket) says so once through
// failure() and then reports only the ports there were at the start.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

class PortWatch {
public:
    PortWatch();
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The serial ports present when the watch began: each alias and real
    // device as `ports` lists them, as device paths or port names.
    [[nodiscard]] std::vector<std::string> present() const;
    // The device node of the next serial port added, waiting at most
    // timeout; nothing when none came.
    std::optional<std::string> nextAdded(std::chrono::milliseconds timeout);
    // Why no device events can be heard; empty when they can.
    [[nodiscard]] const std::string& failure() const { return failure_; }

private:
    struct Udev;
    std::unique_ptr<Udev> udev_;
    std::string failure_;
};

}  // namespace tarnwick
