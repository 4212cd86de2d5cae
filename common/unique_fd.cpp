// SPDX-License-Identifier: GPL-2.0-or-later
#include "unique_fd.h"

#include <unistd.h>

#include <utility>

#include "system_error.h"

namespace tarnwick {

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() { close(); }

std::error_code UniqueFd::close() noexcept {
    const int fd = std::exchange(fd_, -1);
    // Linux releases the descriptor even when close() fails, so it is never retried.
    return fd < 0 || ::close(fd) == 0 ? std::error_code{} : LastSystemError();
}

}  // namespace tarnwick
