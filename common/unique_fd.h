// SPDX-License-Identifier: GPL-2.0-or-later
// The one owner of a file descriptor: closed on destruction, copy deleted,
// move leaves the source empty. Not shared between threads.
#pragma once

#include <system_error>

namespace tarnwick {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    // Takes fd, or holds nothing when it is negative (a failed call's result).
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }

    // Closes now and reports what close() says, as it may report a deferred
    // write error; an empty owner closes nothing and succeeds.
    std::error_code close() noexcept;

private:
    int fd_ = -1;
};

}  // namespace tarnwick
