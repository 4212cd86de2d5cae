// SPDX-License-Identifier: GPL-2.0-or-later
// What the system knows of the adapter behind a serial device, read from
// sysfs, so that a user can tell two adapters apart.
//
// Pure file reading; safe on any thread. Nothing here fails: what cannot be
// read stays empty.
#pragma once

#include <filesystem>
#include <string>

namespace tarnwick {

struct PortDetails {
    // The kernel driver bound to the port ("ftdi_sio", "cdc_acm", "serial8250").
    std::string driver;
    // For a USB adapter: "vvvv:pppp" and the strings the adapter reports
    // (these come from the device itself); empty otherwise.
    std::string usbId;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

// device: a device node or a symlink to one (an alias, /dev/serial/by-id/...).
// sysRoot: where sysfs is mounted; tests give a tree of their own.
PortDetails describePortDevice(const std::filesystem::path& device,
                               const std::filesystem::path& sysRoot = "/sys");

}  // namespace tarnwick
