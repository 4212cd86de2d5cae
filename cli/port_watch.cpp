// SPDX-License-Identifier: GPL-2.0-or-later
#include "port_watch.h"

#include <libudev.h>
#include <poll.h>

#include <cerrno>
#include <string_view>

#include "serial_port.h"
#include "system_error.h"

namespace tarnwick {
namespace {

struct UdevDeleter {
    void operator()(udev* handle) const noexcept { udev_unref(handle); }
    void operator()(udev_monitor* monitor) const noexcept { udev_monitor_unref(monitor); }
    void operator()(udev_device* device) const noexcept { udev_device_unref(device); }
};

template <typename T>
using UdevPointer = std::unique_ptr<T, UdevDeleter>;

// A serial port the kernel added: a tty with hardware behind it (virtual
// consoles and pseudo-terminals have none).
std::optional<std::string> AddedSerialPort(udev_device* device) {
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    if (action == nullptr || std::string_view(action) != "add" || node == nullptr ||
        udev_device_get_parent(device) == nullptr) {
        return std::nullopt;
    }
    return std::string(node);
}

}  // namespace

struct PortWatch::Udev {
    UdevPointer<udev> context;
    UdevPointer<udev_monitor> monitor;
};

PortWatch::PortWatch() : udev_(std::make_unique<Udev>()) {
    udev_->context.reset(udev_new());
    if (udev_->context) {
        udev_->monitor.reset(udev_monitor_new_from_netlink(udev_->context.get(), "udev"));
    }
    const bool listening = udev_->monitor &&
                           udev_monitor_filter_add_match_subsystem_devtype(udev_->monitor.get(), "tty", nullptr) >= 0 &&
                           udev_monitor_enable_receiving(udev_->monitor.get()) >= 0;
    if (!listening) {
        udev_->monitor.reset();
        failure_ = "no device events from udev (" + SystemText(errno != 0 ? errno : ENOTSUP) +
                   "); serving the ports there are now, none plugged in later";
    }
}

PortWatch::~PortWatch() = default;

std::vector<std::string> PortWatch::present() const {
    std::vector<int> numbers;
    enumeratePorts(numbers);
    std::vector<std::string> ports;
    for (const int number : numbers) {
        ports.push_back("COM" + std::to_string(number));
    }
    return ports;
}

std::optional<std::string> PortWatch::nextAdded(std::chrono::milliseconds timeout) {
    if (!udev_->monitor) {
        ::poll(nullptr, 0, static_cast<int>(timeout.count()));
        return std::nullopt;
    }
    pollfd watch{udev_monitor_get_fd(udev_->monitor.get()), POLLIN, 0};
    if (::poll(&watch, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    const UdevPointer<udev_device> device(udev_monitor_receive_device(udev_->monitor.get()));
    return device ? AddedSerialPort(device.get()) : std::nullopt;
}

}  // namespace tarnwick
