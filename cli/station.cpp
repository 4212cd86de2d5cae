// SPDX-License-Identifier: GPL-2.0-or-later
#include "station.h"

#include <algorithm>

#include "target_session.h"

namespace tarnwick {

std::string TallyText(unsigned updated, unsigned failed) {
    return std::to_string(updated) + " updated, " + std::to_string(failed) + " failed";
}

LaneWork StationLane(StationTally& tally, ServeCamera serve, const InterruptCatcher& interrupts, bool portsComeAndGo) {
    return [&tally, serve = std::move(serve), &interrupts, portsComeAndGo](std::size_t lane, CommandReport& report) {
        unsigned updated = 0;
        unsigned failed = 0;
        LaneEnding ending{kExitSuccess, {}, {}};
        while (interrupts.count() == 0) {
            const ServedCamera camera = serve(lane, report);
            if (camera.kind == ServedCamera::Kind::PortGone) {
                ending.status = portsComeAndGo ? ending.status : std::max(ending.status, kExitNotConnected);
                break;
            }
            if (camera.kind == ServedCamera::Kind::NoCamera) {
                continue;
            }
            const bool succeeded = camera.status == kExitSuccess;
            ++(succeeded ? updated : failed);
            ++(succeeded ? tally.updated : tally.failed);
            ending.status = std::max(ending.status, camera.status);
            ending.cameraVersion = camera.cameraVersion;
            report.note("tarnwick-cli: camera " + std::to_string(updated + failed) +
                        (succeeded ? " updated" : " failed") + "; this port: " + TallyText(updated, failed) +
                        "; all ports: " + TallyText(tally.updated, tally.failed));
        }
        ending.outcome = TallyText(updated, failed);
        return ending;
    };
}

int RunStation(std::span<const Lane> lanes, const ServeCamera& serve, const InterruptCatcher& interrupts,
               CliStreams streams, bool json, bool progressInPlace) {
    StationTally tally;
    return RunLanes(lanes, StationLane(tally, serve, interrupts, false), streams, json, progressInPlace);
}

}  // namespace tarnwick
