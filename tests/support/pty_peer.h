// SPDX-License-Identifier: GPL-2.0-or-later
// The far end of a pseudo-terminal, published as a port alias, for tests
// that drive a SerialPort byte by byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "temporary_folder.h"
#include "unique_fd.h"

namespace tarnwick::testing {

class PtyPeer {
public:
    // Opens a pseudo-terminal and publishes its slave as COM<portNumber>.
    PtyPeer(const TemporaryPortFolder& folder, int portNumber);
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    void send(const std::vector<std::uint8_t>& bytes) const;
    // Whatever arrives within the timeout, up to count bytes.
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds timeout) const;
    // Closes the master: the host sees the line hang up.
    void hangUp();

private:
    UniqueFd master_;
};

}  // namespace tarnwick::testing
