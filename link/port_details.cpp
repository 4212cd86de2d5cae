// SPDX-License-Identifier: GPL-2.0-or-later
#include "port_details.h"

#include <fstream>
#include <system_error>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without its line end.
std::string attribute(const fs::path& file) {
    std::ifstream stream(file);
    std::string line;
    std::getline(stream, line);
    return line;
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    fs::path target = fs::canonical(path, error);
    return error ? fs::path() : target;
}

// The USB device above a port's device: the nearest folder with an idVendor,
// below sysRoot.
fs::path usbDeviceAbove(const fs::path& deviceFolder, const fs::path& sysRoot) {
    const fs::path root = resolved(sysRoot);
    std::error_code error;
    for (fs::path folder = deviceFolder; !folder.empty() && folder != root && folder != folder.parent_path();
         folder = folder.parent_path()) {
        if (fs::exists(folder / "idVendor", error)) {
            return folder;
        }
    }
    return {};
}

}  // namespace

PortDetails describePortDevice(const fs::path& device, const fs::path& sysRoot) {
    PortDetails details;
    const fs::path node = resolved(device);
    if (node.empty()) {
        return details;
    }
    const fs::path deviceFolder = resolved(sysRoot / "class" / "tty" / node.filename() / "device");
    if (deviceFolder.empty()) {
        return details;
    }
    details.driver = resolved(deviceFolder / "driver").filename().string();
    if (const fs::path usb = usbDeviceAbove(deviceFolder, sysRoot); !usb.empty()) {
        details.usbId = attribute(usb / "idVendor") + ":" + attribute(usb / "idProduct");
        details.manufacturer = attribute(usb / "manufacturer");
        details.product = attribute(usb / "product");
        details.serialNumber = attribute(usb / "serial");
    }
    return details;
}

}  // namespace tarnwick
