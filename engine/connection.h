// SPDX-License-Identifier: GPL-2.0-or-later
// Catching the boot code right after the camera is reset.
//
// connectToTarget holds the line in break while the user resets the camera,
// waits for the boot code's ready byte, releases the line, and reads the
// version information and the flash identity. It runs on the worker thread;
// the user interface only sets the quit and cancel events meanwhile and
// receives the posted notices. A port failure (CSerialException) is caught
// here and reported as MsgLinkState (LineFailed, its error number), which the
// front end turns into one message naming the port; the break is then
// released where the port still allows it, and the result is false.
#pragma once

#include <chrono>
#include <cstdint>

#include "boot_commands.h"
#include "event.h"
#include "notices.h"
#include "serial_port.h"
#include "target_info.h"

namespace tarnwick {

inline constexpr std::string_view kResetCameraStatus = "Reset camera to establish a connection...";
// Progress range of the wait: 0 to 100 (upper bound in the high 16 bits).
inline constexpr std::uint32_t kConnectProgressRange = 0x00640000;

// The waits of the procedure; tests shorten them.
struct ConnectTimings {
    // Read timeouts while waiting: each 1-byte read waits at most
    // readMultiplierMs + readConstantMs.
    std::uint32_t readIntervalMs = 250;
    std::uint32_t readMultiplierMs = 100;
    std::uint32_t readConstantMs = 100;
    unsigned maxCycles = 100;
    // After every cycle without the ready byte.
    std::chrono::milliseconds cyclePause{500};
    // After the ready byte, before the first command.
    std::chrono::milliseconds readyPause{500};
};

// The worker's parts that the procedure uses; all outlive the call.
struct ConnectionParts {
    SerialPort& port;
    BootCommands& commands;
    TargetInfo& target;
    MessageSink& sink;
    Event& quit;
    Event& cancel;
};

// True when the ready byte came and both reads succeeded; stored as
// target.connected. Ends with MsgProgress 2 and MsgLinkState: (1, result),
// (LineFailed, error) after a port failure, or (NoAnswer, 0) when every
// cycle passed without the ready byte.
bool connectToTarget(const ConnectionParts& parts, const ConnectTimings& timings = {});

}  // namespace tarnwick
