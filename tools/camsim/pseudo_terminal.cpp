// SPDX-License-Identifier: GPL-2.0-or-later
#include "pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "file_io.h"
#include "system_error.h"

namespace tarnwick {
namespace {

// Port numbers tried before an automatic choice gives up.
constexpr int kAutomaticRange = 10000;

[[noreturn]] void failWithErrno(const char* what) { throw std::system_error(LastSystemError(), what); }

void makeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        failWithErrno("tcgetattr");
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        failWithErrno("tcsetattr");
    }
}

UniqueFd openMaster() {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.valid()) {
        failWithErrno("posix_openpt");
    }
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        failWithErrno("grantpt");
    }
    return master;
}

std::filesystem::path slaveName(int master) {
    std::array<char, 128> name{};
    if (::ptsname_r(master, name.data(), name.size()) != 0) {
        failWithErrno("ptsname_r");
    }
    return name.data();
}

UniqueFd openSlave(const std::filesystem::path& path) {
    UniqueFd slave(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave.valid()) {
        failWithErrno("open slave");
    }
    return slave;
}

std::filesystem::path aliasIn(const std::filesystem::path& folder, int number) {
    return folder / ("COM" + std::to_string(number));
}

bool isDanglingLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(path, error) && !std::filesystem::exists(path, error);
}

}  // namespace

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!fd_.valid()) {
        failWithErrno("eventfd");
    }
}

void WakeSignal::signal() {
    const std::uint64_t one = 1;
    // A full counter already wakes the waiter, so a refused write loses nothing.
    [[maybe_unused]] const auto written = ::write(fd_.get(), &one, sizeof one);
}

void WakeSignal::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(fd_.get(), &count, sizeof count);
}

UniqueFd watchOpens(const std::filesystem::path& path) {
    UniqueFd events(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!events.valid()) {
        failWithErrno("inotify_init1");
    }
    if (::inotify_add_watch(events.get(), path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        failWithErrno("inotify_add_watch");
    }
    return events;
}

PseudoTerminal::PseudoTerminal() : master_(openMaster()), slavePath_(slaveName(master_.get())) {
    makeRaw(master_.get());
    // Settings made on the slave outlive this open; closing it again leaves
    // the master in the hung-up state that tells "no host" from "host".
    makeRaw(openSlave(slavePath_).get());
    openEvents_ = watchOpens(slavePath_);
}

bool PseudoTerminal::readOpenEvents() {
    // Equal events that wait unread are merged into one, so the events show
    // the order of opens and closes, not their number.
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool reopened = false;
    for (;;) {
        const ssize_t count = ::read(openEvents_.get(), buffer.data(), buffer.size());
        if (count <= 0) {
            return reopened;
        }
        for (ssize_t offset = 0; offset < count;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            if ((event.mask & IN_CLOSE) != 0) {
                closeSeen_ = true;
            } else if ((event.mask & IN_OPEN) != 0 && std::exchange(closeSeen_, false)) {
                reopened = true;
            }
            offset += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
}

bool PseudoTerminal::takeReopen() {
    const bool reopened = readOpenEvents();
    if (hostPresent()) {
        // A close while the line stays held ended a second open, not the host's.
        closeSeen_ = false;
    }
    return reopened;
}

bool PseudoTerminal::hostPresent() const {
    pollfd watch{master_.get(), POLLIN, 0};
    ::poll(&watch, 1, 0);
    return (watch.revents & POLLHUP) == 0;
}

bool PseudoTerminal::inputPending() const {
    pollfd watch{master_.get(), POLLIN, 0};
    return ::poll(&watch, 1, 0) > 0 && (watch.revents & POLLIN) != 0;
}

void PseudoTerminal::discardUnread() {
    std::array<std::uint8_t, 256> sink{};
    while (readAvailable(sink) > 0) {
    }
    std::error_code ignored;
    if (std::filesystem::exists(slavePath_, ignored)) {
        const UniqueFd slave(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (slave.valid()) {
            ::tcflush(slave.get(), TCIFLUSH);
        }
    }
    // The camera's own open and close are no host's.
    readOpenEvents();
    closeSeen_ = false;
}

std::size_t PseudoTerminal::readAvailable(std::span<std::uint8_t> buffer) {
    for (;;) {
        const ssize_t count = ::read(master_.get(), buffer.data(), buffer.size());
        if (count > 0) {
            return static_cast<std::size_t>(count);
        }
        // EAGAIN: nothing yet; EIO: no host on the other side.
        if (count == 0 || errno != EINTR) {
            return 0;
        }
    }
}

bool PseudoTerminal::writeAll(std::span<const std::uint8_t> bytes, std::chrono::steady_clock::time_point deadline,
                              const WakeSignal& stop) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(master_.get(), bytes.data(), bytes.size());
        if (count > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        std::array<pollfd, 2> watch{{{master_.get(), POLLOUT, 0}, {stop.fd(), POLLIN, 0}}};
        if (::poll(watch.data(), watch.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return false;
        }
        if ((watch[1].revents & POLLIN) != 0 || (watch[0].revents & (POLLHUP | POLLERR)) != 0) {
            return false;
        }
    }
    return true;
}

PortAlias::PortAlias(const std::filesystem::path& folder, int number, const std::filesystem::path& target,
                     int firstAutomatic)
    : folder_(folder), target_(target) {
    if (const std::error_code error = CreateFolders(folder_)) {
        throw std::system_error(error, folder_.string());
    }
    if (number != 0) {
        // A dangling entry is left over from a simulator that did not end
        // cleanly; one that cannot be removed makes the number taken below.
        if (isDanglingLink(aliasIn(folder_, number))) {
            std::error_code ignored;
            std::filesystem::remove(aliasIn(folder_, number), ignored);
        }
        if (!tryCreate(number, target)) {
            throw std::system_error(SystemError(EEXIST), aliasIn(folder_, number).string());
        }
        return;
    }
    for (int candidate = firstAutomatic; candidate < firstAutomatic + kAutomaticRange; ++candidate) {
        if (tryCreate(candidate, target)) {
            return;
        }
    }
    throw std::system_error(SystemError(EEXIST), "no free port number in " + folder_.string());
}

bool PortAlias::tryCreate(int number, const std::filesystem::path& target) {
    const std::filesystem::path path = aliasIn(folder_, number);
    // symlink() either creates the entry or finds it taken, so two
    // simulators never share a number.
    if (::symlink(target.c_str(), path.c_str()) == 0) {
        number_ = number;
        path_ = path;
        return true;
    }
    if (errno != EEXIST) {
        failWithErrno(path.c_str());
    }
    return false;
}

void PortAlias::retarget(const std::filesystem::path& target) {
    const std::filesystem::path staging = path_.string() + ".new" + std::to_string(::getpid());
    std::error_code error;
    std::filesystem::remove(staging, error);
    std::filesystem::create_symlink(target, staging, error);
    if (!error) {
        std::filesystem::rename(staging, path_, error);
    }
    if (error) {
        throw std::system_error(error, path_.string());
    }
    target_ = target;
}

PortAlias::~PortAlias() {
    std::error_code error;
    if (std::filesystem::read_symlink(path_, error) == target_ && !error) {
        std::filesystem::remove(path_, error);
    }
}

}  // namespace tarnwick
