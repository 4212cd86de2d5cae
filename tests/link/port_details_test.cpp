// SPDX-License-Identifier: GPL-2.0-or-later
#include "port_details.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "temporary_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// A copy of the sysfs layout of a USB adapter and of a UART on the board.
class PortDetailsTest : public ::testing::Test {
protected:
    PortDetailsTest() {
        const fs::path usb = AddDevice("devices/pci0000:00/usb1/1-2", "ftdi_sio");
        const std::pair<const char*, const char*> attributes[] = {
            {"idVendor", "0403"}, {"idProduct", "6001"}, {"manufacturer", "FTDI"},
            {"product", "FT232R USB UART"}, {"serial", "A50285BI"}};
        for (const auto& [name, value] : attributes) {
            std::ofstream(usb / name) << value << '\n';
        }
        AddPort("ttyUSB0", AddDevice("devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0", "ftdi_sio"));
        AddPort("ttyS0", AddDevice("devices/platform/serial8250", "serial8250"));
    }

    fs::path AddDevice(const std::string& folder, const std::string& driver) {
        fs::create_directories(sys_ / folder);
        fs::create_directories(sys_ / "bus/any/drivers" / driver);
        fs::create_directory_symlink(sys_ / "bus/any/drivers" / driver, sys_ / folder / "driver");
        return sys_ / folder;
    }

    void AddPort(const std::string& name, const fs::path& device) {
        fs::create_directories(sys_ / "class/tty" / name);
        fs::create_directory_symlink(device, sys_ / "class/tty" / name / "device");
        dev_.write(name, "");
    }

    testing::TemporaryFolder root_;
    fs::path sys_ = root_ / "sys";
    testing::TemporaryFolder dev_;
};

TEST_F(PortDetailsTest, UsbAdaptersNameThemselvesAndBoardUartsTheirDriver) {
    fs::create_directories(dev_ / "serial/by-id");
    const fs::path byId = dev_ / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink(dev_ / "ttyUSB0", byId);
    const PortDetails ftdi = describePortDevice(byId, sys_);
    EXPECT_EQ(std::tuple(ftdi.driver, ftdi.usbId, ftdi.manufacturer, ftdi.product, ftdi.serialNumber),
              std::tuple("ftdi_sio", "0403:6001", "FTDI", "FT232R USB UART", "A50285BI"));

    const PortDetails uart = describePortDevice(dev_ / "ttyS0", sys_);
    EXPECT_EQ(std::tuple(uart.driver, uart.usbId, uart.product), std::tuple("serial8250", "", ""));
    EXPECT_EQ(describePortDevice(dev_ / "ttyUSB7", sys_).driver, "");
}

}  // namespace
}  // namespace tarnwick
