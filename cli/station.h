// SPDX-License-Identifier: GPL-2.0-or-later
// The production line's loop: on every port at once, wait for a camera (its
// ready byte after a reset or plug-in), update it, say how it went with the
// port's tally and the station's, and wait for the next, until Ctrl+C,
// SIGTERM or SIGHUP.
//
// A camera that has been updated runs its firmware and sends no ready byte
// until it is reset, so waiting for the next ready byte is waiting until the
// camera is reset again or replaced. A port that cannot be opened (named
// wrongly, or its adapter gone) ends its lane; the others go on.
//
// RunStation runs on the command's thread; each lane serves its cameras on
// its own thread.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <span>

#include "cli.h"
#include "command_report.h"
#include "interrupt_catcher.h"
#include "port_lanes.h"

namespace tarnwick {

// How serving one camera went.
struct ServedCamera {
    enum class Kind {
        // No camera sent its ready byte before the wait ended.
        NoCamera,
        // The port could not be opened: the lane ends.
        PortGone,
        // A camera answered; status is its update's exit status.
        Served,
    };
    Kind kind = Kind::NoCamera;
    int status = kExitSuccess;
    std::string cameraVersion;
};

// Waits for one camera on the lane's port and updates it, reporting and
// recording it; on the lane's thread.
using ServeCamera = std::function<ServedCamera(std::size_t lane, CommandReport& report)>;

// The cameras of every lane, counted from any lane's thread.
struct StationTally {
    std::atomic<unsigned> updated{0};
    std::atomic<unsigned> failed{0};
};

// One port's loop: serves camera after camera until an interrupt or until
// the port is gone. Its status is the highest of any camera served (0 when
// each succeeded or none came), or of a port that could not be opened unless
// ports may come and go (an adapter unplugged ends its lane, no more).
LaneWork StationLane(StationTally& tally, ServeCamera serve, const InterruptCatcher& interrupts, bool portsComeAndGo);

// The loop on every lane at once.
int RunStation(std::span<const Lane> lanes, const ServeCamera& serve, const InterruptCatcher& interrupts,
               CliStreams streams, bool json, bool progressInPlace);

// "3 updated, 1 failed".
std::string TallyText(unsigned updated, unsigned failed);

}  // namespace tarnwick
