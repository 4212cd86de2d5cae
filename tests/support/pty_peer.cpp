// SPDX-License-Identifier: GPL-2.0-or-later
#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

namespace tarnwick::testing {

PtyPeer::PtyPeer(const TemporaryPortFolder& folder, int portNumber)
    : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!master_.valid() || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    folder.addAlias(portNumber, ::ptsname(master_.get()));
}

void PtyPeer::send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(master_.get(), bytes.data() + written, bytes.size() - written);
        if (count <= 0) {
            throw std::runtime_error("write to pseudo-terminal failed");
        }
        written += static_cast<std::size_t>(count);
    }
}

std::vector<std::uint8_t> PtyPeer::receive(std::size_t count, std::chrono::milliseconds timeout) const {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watch{master_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0 ||
            (watch.revents & POLLIN) == 0) {
            break;
        }
        std::uint8_t buffer[256];
        const ssize_t got = ::read(master_.get(), buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

void PtyPeer::hangUp() { master_.close(); }

}  // namespace tarnwick::testing
