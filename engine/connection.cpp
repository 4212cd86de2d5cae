// SPDX-License-Identifier: GPL-2.0-or-later
#include "connection.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace tarnwick {
namespace {

CommTimeouts waitingTimeouts(CommTimeouts timeouts, const ConnectTimings& timings) {
    timeouts.readIntervalTimeout = timings.readIntervalMs;
    timeouts.readTotalTimeoutMultiplier = timings.readMultiplierMs;
    timeouts.readTotalTimeoutConstant = timings.readConstantMs;
    return timeouts;
}

// Consumes the cancel request it sees; quit stays set for the worker.
bool stopRequested(const ConnectionParts& parts) {
    const std::array<Event*, 2> events{&parts.quit, &parts.cancel};
    return Event::waitAny(events, Event::Duration::zero()).has_value();
}

bool readyByteArrived(SerialPort& port) {
    std::uint8_t byte = 0;
    return port.read(std::span(&byte, 1)) == 1 && byte == kReadyByte;
}

// The boot code listens only once the line is out of break, and needs a
// moment after its ready byte before it takes the first command.
bool readTargetIdentity(const ConnectionParts& parts, const ConnectTimings& timings) {
    parts.port.clearBreak();
    std::this_thread::sleep_for(timings.readyPause);
    const LinkResult version = parts.commands.readVersionInfo();
    // Read even after a failed version read, so the user sees both results.
    const LinkResult identity = parts.commands.readFlashId();
    return version == LinkResult::Success && identity == LinkResult::Success;
}

// How the wait for the boot code ended.
enum class WaitEnd { Connected, NotConnected, NoReadyByte };

WaitEnd waitForBootCode(const ConnectionParts& parts, const ConnectTimings& timings) {
    for (unsigned cycle = 0; cycle < timings.maxCycles; ++cycle) {
        if (stopRequested(parts)) {
            return WaitEnd::NotConnected;
        }
        if (readyByteArrived(parts.port)) {
            return readTargetIdentity(parts, timings) ? WaitEnd::Connected : WaitEnd::NotConnected;
        }
        std::this_thread::sleep_for(timings.cyclePause);
        postProgress(parts.sink, ProgressCode::Step, 0);
    }
    return WaitEnd::NoReadyByte;
}

// The camera's boot code sends its ready byte only when it starts with its
// receive line held in break, so the line is held while the user resets it.
WaitEnd catchBootCode(const ConnectionParts& parts, const ConnectTimings& timings) {
    SerialPort& port = parts.port;
    port.setTimeouts(waitingTimeouts(port.getTimeouts(), timings));
    port.setBreak();
    postProgress(parts.sink, ProgressCode::Range, kConnectProgressRange);
    postProgress(parts.sink, ProgressCode::Position, 0);
    const WaitEnd end = waitForBootCode(parts, timings);
    port.clearBreak();
    return end;
}

// After a port failure the line may still be held; a port that refuses
// this too has nothing more to report.
void releaseBreakQuietly(SerialPort& port) {
    try {
        port.clearBreak();
    } catch (const CSerialException&) {
    }
}

}  // namespace

bool connectToTarget(const ConnectionParts& parts, const ConnectTimings& timings) {
    postProgress(parts.sink, ProgressCode::Show, 0);
    postProgress(parts.sink, ProgressCode::Status, std::string(kResetCameraStatus));
    WaitEnd end = WaitEnd::NotConnected;
    std::optional<std::uint32_t> lineError;
    if (parts.port.isOpen()) {
        try {
            end = catchBootCode(parts, timings);
        } catch (const CSerialException& failure) {
            lineError = failure.error();
            releaseBreakQuietly(parts.port);
        }
    }
    const bool connected = end == WaitEnd::Connected;
    parts.target.connected = connected;
    postProgress(parts.sink, ProgressCode::Hide, 0);
    if (lineError) {
        postLineFailed(parts.sink, *lineError);
    } else if (end == WaitEnd::NoReadyByte) {
        postNoAnswer(parts.sink);
    } else {
        postLinkState(parts.sink, connected);
    }
    return connected;
}

}  // namespace tarnwick
