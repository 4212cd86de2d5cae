// SPDX-License-Identifier: GPL-2.0-or-later
// The line of the simulated camera: the master side of a pseudo-terminal,
// and the port alias that names its slave side.
//
// Platform code for the simulator lives here only.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>

#include "unique_fd.h"

namespace tarnwick {

// Wakes a thread that waits on it; any thread may signal.
class WakeSignal {
public:
    WakeSignal();
    void signal();
    // Clears pending signals.
    void drain();
    [[nodiscard]] int fd() const { return fd_.get(); }

private:
    UniqueFd fd_;
};

// The master side, non-blocking. The slave starts raw (so nothing the camera
// sends is echoed or held back by line editing) and closed.
class PseudoTerminal {
public:
    PseudoTerminal();

    [[nodiscard]] const std::filesystem::path& slavePath() const { return slavePath_; }
    [[nodiscard]] int fd() const { return master_.get(); }
    // Readable when the slave side was opened or closed.
    [[nodiscard]] int openEventsFd() const { return openEvents_.get(); }

    // Some process has the slave side open.
    [[nodiscard]] bool hostPresent() const;
    // The slave was closed and opened again since the last call, perhaps
    // too fast for hostPresent() to have shown the gap. A failed second
    // open while a host holds the line does not count; two of them in quick
    // succession may, as the events show only the order of opens and closes.
    bool takeReopen();
    // Throws away what was sent to a host that has gone (the slave keeps
    // it for the next opener otherwise).
    void discardUnread();
    // Bytes from the host wait to be read.
    [[nodiscard]] bool inputPending() const;
    // What has arrived, up to the buffer's size; 0 when nothing.
    std::size_t readAvailable(std::span<std::uint8_t> buffer);
    // False when the bytes could not all go out before the deadline or the
    // wake signal, or the host went away.
    bool writeAll(std::span<const std::uint8_t> bytes, std::chrono::steady_clock::time_point deadline,
                  const WakeSignal& stop);

private:
    // Whether the open events read so far hold a close and then an open.
    bool readOpenEvents();

    UniqueFd master_;
    std::filesystem::path slavePath_;
    UniqueFd openEvents_;
    bool closeSeen_ = false;
};

// The entry COM<n> in a port folder, a symlink to a device; removed on
// destruction when it still points where this alias put it.
class PortAlias {
public:
    // number 0 takes the first free number from firstAutomatic up; an entry
    // that exists already is replaced only when it is a dangling symlink.
    PortAlias(const std::filesystem::path& folder, int number, const std::filesystem::path& target,
              int firstAutomatic);
    PortAlias(const PortAlias&) = delete;
    PortAlias& operator=(const PortAlias&) = delete;
    ~PortAlias();

    [[nodiscard]] int number() const { return number_; }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    // Points the entry elsewhere in one step.
    void retarget(const std::filesystem::path& target);

private:
    bool tryCreate(int number, const std::filesystem::path& target);

    std::filesystem::path folder_;
    int number_ = 0;
    std::filesystem::path path_;
    std::filesystem::path target_;
};

}  // namespace tarnwick
