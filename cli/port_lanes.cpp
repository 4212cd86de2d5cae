// SPDX-License-Identifier: GPL-2.0-or-later
#include "port_lanes.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <streambuf>
#include <thread>

namespace tarnwick {
namespace {

// Longer live lines would wrap, and the board could not find its top again.
std::size_t LiveWidth() {
    winsize size{};
    constexpr std::size_t kUsualColumns = 80;
    const bool known = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
    return (known ? size.ws_col : kUsualColumns) - 1;
}
constexpr std::string_view kClearToEnd = "\x1b[K";

// What a line drawn in place shows: the text after its last carriage
// return, without the terminal's clear sequence.
std::string Shown(std::string_view text) {
    if (const std::size_t cr = text.rfind('\r'); cr != std::string_view::npos) {
        text.remove_prefix(cr + 1);
    }
    std::string shown(text);
    for (std::size_t at = shown.find(kClearToEnd); at != std::string::npos; at = shown.find(kClearToEnd)) {
        shown.erase(at, kClearToEnd.size());
    }
    return shown;
}

std::string ShortDevice(std::string_view device) {
    return std::string(device.starts_with("/dev/") ? device.substr(5) : device);
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size()), ' ');
    return text;
}

}  // namespace

LaneBoard::LaneBoard(CliStreams streams, bool live) : streams_(streams), live_(live) {}

LaneBoard::~LaneBoard() { close(); }

std::size_t LaneBoard::add(const Lane& lane) {
    std::lock_guard lock(mutex_);
    clearLive();
    lanes_.push_back(lane);
    lines_.emplace_back();
    drawLive();
    return lanes_.size() - 1;
}

void LaneBoard::print(std::size_t lane, bool toErr, std::string_view line) {
    std::lock_guard lock(mutex_);
    clearLive();
    std::ostream& stream = toErr ? streams_.err : streams_.out;
    stream << lanes_[lane].port << ": " << line << '\n' << std::flush;
    drawLive();
}

void LaneBoard::printRaw(std::string_view line) {
    std::lock_guard lock(mutex_);
    streams_.out << line << '\n' << std::flush;
}

void LaneBoard::setLive(std::size_t lane, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!live_ || lines_[lane] == text) {
        return;
    }
    lines_[lane] = text;
    clearLive();
    drawLive();
}

void LaneBoard::close() {
    std::lock_guard lock(mutex_);
    live_ = false;
    drawn_ = 0;
}

void LaneBoard::clearLive() {
    if (drawn_ > 0) {
        streams_.err << "\r\x1b[" << drawn_ << "A\x1b[J";
        drawn_ = 0;
    }
}

void LaneBoard::drawLive() {
    if (!live_) {
        return;
    }
    const std::size_t width = LiveWidth();
    std::size_t portWidth = 0;
    std::size_t deviceWidth = 0;
    for (const Lane& lane : lanes_) {
        portWidth = std::max(portWidth, lane.port.size());
        deviceWidth = std::max(deviceWidth, ShortDevice(lane.device).size());
    }
    for (std::size_t index = 0; index < lanes_.size(); ++index) {
        const std::string line = Padded(lanes_[index].port, portWidth) + "  " +
                                 Padded(ShortDevice(lanes_[index].device), deviceWidth) + "  " + lines_[index];
        streams_.err << line.substr(0, width) << kClearToEnd << '\n';
    }
    streams_.err << std::flush;
    drawn_ = lanes_.size();
}

class LaneStream::Buffer final : public std::streambuf {
public:
    Buffer(LaneBoard& board, std::size_t lane, Target target) : board_(board), lane_(lane), target_(target) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        const char ch = traits_type::to_char_type(c);
        if (ch == '\n') {
            endLine();
        } else {
            pending_ += ch;
            afterLive_ = false;
        }
        return c;
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize index = 0; index < count; ++index) {
            overflow(traits_type::to_int_type(text[index]));
        }
        return count;
    }

    // A line drawn in place is flushed without its end.
    int sync() override {
        if (target_ == Target::Err && pending_.find('\r') != std::string::npos) {
            board_.setLive(lane_, Shown(pending_));
            pending_.clear();
            afterLive_ = true;
        }
        return 0;
    }

private:
    void endLine() {
        // The end of a line drawn in place: the live line shows it already.
        if (afterLive_) {
            afterLive_ = false;
            return;
        }
        const std::string line = Shown(pending_);
        pending_.clear();
        if (target_ == Target::Raw) {
            board_.printRaw(line);
        } else {
            board_.print(lane_, target_ == Target::Err, line);
        }
    }

    LaneBoard& board_;
    std::size_t lane_;
    Target target_;
    std::string pending_;
    bool afterLive_ = false;
};

LaneStream::LaneStream(LaneBoard& board, std::size_t lane, Target target)
    : buffer_(std::make_unique<Buffer>(board, lane, target)), stream_(std::make_unique<std::ostream>(buffer_.get())) {}

LaneStream::~LaneStream() = default;

std::ostream& LaneStream::stream() { return *stream_; }

struct LaneRunner::Running {
    LaneSummary summary;
    std::atomic<bool> ended{false};
    std::jthread thread;
};

LaneRunner::LaneRunner(CliStreams streams, bool json, bool progressInPlace)
    : streams_(streams), json_(json), progressInPlace_(progressInPlace), board_(streams, progressInPlace && !json) {}

LaneRunner::~LaneRunner() {
    // The threads end before the board they write to.
    lanes_.clear();
}

void LaneRunner::start(const Lane& lane, LaneWork work) {
    const std::size_t index = board_.add(lane);
    auto running = std::make_unique<Running>();
    running->summary.lane = lane;
    Running& own = *running;
    own.thread = std::jthread([this, index, &own, work = std::move(work)] {
        LaneStream out(board_, index, json_ ? LaneStream::Target::Raw : LaneStream::Target::Out);
        LaneStream err(board_, index, json_ ? LaneStream::Target::Raw : LaneStream::Target::Err);
        // The report goes first: its last line still reaches the board.
        const std::unique_ptr<CommandReport> report =
            json_ ? MakeJsonReport(out.stream(), own.summary.lane.port)
                  : MakeTextReport(
                        CliStreams{out.stream(), err.stream(), streams_.outIsTerminal, streams_.errIsTerminal},
                        progressInPlace_);
        const auto begun = std::chrono::steady_clock::now();
        own.summary.ending = work(index, *report);
        own.summary.took = std::chrono::steady_clock::now() - begun;
        board_.setLive(index, own.summary.ending.outcome);
        own.ended = true;
    });
    lanes_.push_back(std::move(running));
}

bool LaneRunner::running(std::string_view device) const {
    return std::ranges::any_of(lanes_, [device](const std::unique_ptr<Running>& lane) {
        return !lane->ended && lane->summary.lane.device == device;
    });
}

int LaneRunner::finish() {
    std::vector<LaneSummary> rows;
    int status = kExitSuccess;
    for (const std::unique_ptr<Running>& lane : lanes_) {
        lane->thread.join();
        rows.push_back(lane->summary);
        status = std::max(status, lane->summary.ending.status);
    }
    board_.close();
    if (!json_) {
        PrintLaneTable(rows, streams_.out);
    }
    return status;
}

int RunLanes(std::span<const Lane> lanes, const LaneWork& work, CliStreams streams, bool json, bool progressInPlace) {
    LaneRunner runner(streams, json, progressInPlace);
    for (const Lane& lane : lanes) {
        runner.start(lane, work);
    }
    return runner.finish();
}

void PrintLaneTable(std::span<const LaneSummary> rows, std::ostream& out) {
    const std::vector<std::string> header{"PORT", "DEVICE", "CAMERA", "OUTCOME", "TIME"};
    std::vector<std::vector<std::string>> table{header};
    for (const LaneSummary& row : rows) {
        char took[32];
        std::snprintf(took, sizeof took, "%.1f s", std::chrono::duration<double>(row.took).count());
        const std::string camera = row.ending.cameraVersion.empty() ? "-" : row.ending.cameraVersion;
        table.push_back({row.lane.port, row.lane.device, camera, row.ending.outcome, took});
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const std::vector<std::string>& cells : table) {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            widths[column] = std::max(widths[column], cells[column].size());
        }
    }
    for (const std::vector<std::string>& cells : table) {
        std::string line;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            line += column + 1 < cells.size() ? Padded(cells[column], widths[column]) + "  " : cells[column];
        }
        out << line << '\n';
    }
    out << std::flush;
}

}  // namespace tarnwick
