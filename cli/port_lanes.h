// SPDX-License-Identifier: GPL-2.0-or-later
// Several cameras at once, one lane per port: each lane runs its camera's
// share of a command on a thread of its own, with a session, worker and
// report of its own, and the lanes share only the output.
//
// On a terminal each lane keeps one live line (port, device, the progress
// line with its step, bar and percent) redrawn in place below what the lanes
// have said; elsewhere every line is prefixed with its port; with --json
// every event names its port. A table of the lanes ends a text report.
//
// RunLanes runs on the command's thread and returns when every lane has
// ended. The LaneBoard may be used from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "command_report.h"

namespace tarnwick {

struct Lane {
    // The port as the command line named it.
    std::string port;
    // The device it reaches.
    std::string device;
};

// How a lane's camera ended: the exit status, the camera's boot code
// version text (empty when it never answered), and a word for the table.
struct LaneEnding {
    int status = kExitFailure;
    std::string cameraVersion;
    std::string outcome;
};

// The output the lanes share: whole lines above, one live line per lane
// below (on a terminal only).
class LaneBoard {
public:
    // live: redraw the lanes' lines in place on the error stream.
    LaneBoard(CliStreams streams, bool live);
    ~LaneBoard();
    LaneBoard(const LaneBoard&) = delete;
    LaneBoard& operator=(const LaneBoard&) = delete;

    // A new lane's number.
    std::size_t add(const Lane& lane);
    // A whole line of the lane, prefixed with its port, on out or err.
    void print(std::size_t lane, bool toErr, std::string_view line);
    // A line as it is (a JSON event names its port itself).
    void printRaw(std::string_view line);
    // The lane's live line.
    void setLive(std::size_t lane, std::string_view text);
    // Leaves the live lines as they stand; later lines go below them.
    void close();

private:
    void clearLive();
    void drawLive();

    std::mutex mutex_;
    CliStreams streams_;
    bool live_;
    std::vector<Lane> lanes_;
    std::vector<std::string> lines_;
    std::size_t drawn_ = 0;
};

// A stream whose whole lines go to the board for one lane; on the error
// stream of a live board, what follows the last carriage return of an
// unfinished line is the lane's live line.
class LaneStream {
public:
    enum class Target { Out, Err, Raw };
    LaneStream(LaneBoard& board, std::size_t lane, Target target);
    ~LaneStream();
    LaneStream(const LaneStream&) = delete;
    LaneStream& operator=(const LaneStream&) = delete;

    std::ostream& stream();

private:
    class Buffer;
    std::unique_ptr<Buffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
};

// One lane's share: runs on the lane's thread, reporting only to report.
using LaneWork = std::function<LaneEnding(std::size_t lane, CommandReport& report)>;

// Lanes started one by one, also while others run.
class LaneRunner {
public:
    // progressInPlace: the lanes' live lines on a terminal.
    LaneRunner(CliStreams streams, bool json, bool progressInPlace);
    ~LaneRunner();
    LaneRunner(const LaneRunner&) = delete;
    LaneRunner& operator=(const LaneRunner&) = delete;

    // Runs the lane's work on a thread of its own.
    void start(const Lane& lane, LaneWork work);
    // Whether a lane on that device is still at work.
    [[nodiscard]] bool running(std::string_view device) const;
    // Waits for every lane, and ends a text report with their table; the
    // highest status of any lane (0 only when every lane succeeded).
    int finish();

private:
    struct Running;
    CliStreams streams_;
    bool json_;
    bool progressInPlace_;
    LaneBoard board_;
    std::vector<std::unique_ptr<Running>> lanes_;
};

// Runs every lane at once and waits for all, as LaneRunner::finish.
int RunLanes(std::span<const Lane> lanes, const LaneWork& work, CliStreams streams, bool json, bool progressInPlace);

// "COM3     /dev/ttyUSB2  BLS v2.11  updated  3:02": the table's rows, one
// per lane, after a header.
struct LaneSummary {
    Lane lane;
    LaneEnding ending;
    std::chrono::steady_clock::duration took;
};
void PrintLaneTable(std::span<const LaneSummary> rows, std::ostream& out);

}  // namespace tarnwick
