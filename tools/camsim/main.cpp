// SPDX-License-Identifier: GPL-2.0-or-later
// tarnwick-camsim: serves a simulated camera on a pseudo-terminal until
// SIGINT or SIGTERM. Enter or SIGUSR1 resets the camera (it sends its ready
// byte again).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "camsim_options.h"
#include "pseudo_terminal.h"
#include "simulated_camera.h"
#include "system_error.h"
#include "tarnwick_version.h"

namespace {

using tarnwick::LastSystemError;
using tarnwick::UniqueFd;

// The signals the program answers, taken out of normal delivery so that
// the serving thread never sees them and the main loop reads them in turn.
UniqueFd blockedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
        throw std::runtime_error("cannot block signals");
    }
    UniqueFd fd(signalfd(-1, &signals, SFD_CLOEXEC));
    if (!fd.valid()) {
        throw std::system_error(LastSystemError(), "signalfd");
    }
    return fd;
}

// True when a line (a reset) came on standard input; at its end the input
// is no longer watched, so a program started without a terminal runs on.
bool readResetLine(bool& inputOpen) {
    std::array<char, 256> line{};
    inputOpen = read(STDIN_FILENO, line.data(), line.size()) > 0;
    return inputOpen;
}

void serveUntilStopped(tarnwick::SimulatedCamera& camera, const UniqueFd& signals) {
    bool inputOpen = true;
    for (;;) {
        std::array<pollfd, 2> watch{{{signals.get(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}}};
        if (poll(watch.data(), inputOpen ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(LastSystemError(), "poll");
        }
        if ((watch[0].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            if (read(signals.get(), &info, sizeof info) == sizeof info && info.ssi_signo != SIGUSR1) {
                return;
            }
            camera.resetCamera();
        }
        if (inputOpen && (watch[1].revents & (POLLIN | POLLHUP)) != 0 && readResetLine(inputOpen)) {
            camera.resetCamera();
        }
    }
}

int run(const tarnwick::CameraOptions& options) {
    const UniqueFd signals = blockedSignals();
    tarnwick::SimulatedCamera camera(options);
    std::cout << "COM" << camera.portNumber() << ' ' << camera.devicePath().string() << std::endl;
    serveUntilStopped(camera, signals);
    if (options.flashFile) {
        if (const std::error_code error = camera.saveFlash()) {
            std::cerr << "tarnwick-camsim: cannot save " << options.flashFile->string() << ": " << error.message()
                      << '\n';
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = tarnwick::parseCamsimArguments(args);
    if (std::holds_alternative<tarnwick::CamsimHelp>(parsed)) {
        std::cout << tarnwick::kCamsimUsage;
        return 0;
    }
    if (std::holds_alternative<tarnwick::CamsimVersion>(parsed)) {
        std::cout << "tarnwick-camsim " << tarnwick::kProductVersion << '\n';
        return 0;
    }
    if (const auto* fault = std::get_if<std::string>(&parsed)) {
        std::cerr << "tarnwick-camsim: " << *fault << '\n' << tarnwick::kCamsimUsage;
        return 2;
    }
    try {
        return run(std::get<tarnwick::CameraOptions>(parsed));
    } catch (const std::exception& error) {
        std::cerr << "tarnwick-camsim: " << error.what() << '\n';
        return 1;
    }
}
