#include "port_details.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temporary_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// A copy of the sysfs layout of a USB adapter and a UART on the board.
class PortDetailsTest : public ::testing::Test {
protected:
    PortDetailsTest() {
        const fs::path usb = AddDevice("devices/pci0000:00/usb1/1-2", "ftdi_sio");
        Attribute(usb / "idVendor", "0403");
        Attribute(usb / "idProduct", "6001");
        Attribute(usb / "manufacturer", "FTDI");
        Attribute(usb / "product", "FT232R USB UART");
        Attribute(usb / "serial", "A50285BI");
        AddPort("ttyUSB0", AddDevice("devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0", "ftdi_sio"));

        AddPort("ttyS0", AddDevice("devices/platform/serial8250", "serial8250"));
    }

    fs::path AddDevice(const std::string& folder, const std::string& driver) {
        const fs::path path = sys_ / folder;
        fs::create_directories(path);
        fs::create_directories(sys_ / "bus/any/drivers" / driver);
        fs::create_directory_symlink(sys_ / "bus/any/drivers" / driver, path / "driver");
        return path;
    }

    void AddPort(const std::string& name, const fs::path& device) {
        fs::create_directories(sys_ / "class/tty" / name);
        fs::create_directory_symlink(device, sys_ / "class/tty" / name / "device");
        dev_.write(name, "");
    }

    static void Attribute(const fs::path& file, const std::string& value) { std::ofstream(file) << value << '\n'; }

    testing::TemporaryFolder root_;
    fs::path sys_ = root_ / "sys";
    testing::TemporaryFolder dev_;
};

TEST_F(PortDetailsTest, UsbAdaptersNameThemselvesAndBoardUartsTheirDriver) {
    fs::create_directories(dev_ / "serial/by-id");
    fs::create_symlink(dev_ / "ttyUSB0", dev_ / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    const PortDetails ftdi =
        describePortDevice(dev_ / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", sys_);
    EXPECT_EQ(ftdi.driver, "ftdi_sio");
    EXPECT_EQ(ftdi.usbId, "0403:6001");
    EXPECT_EQ(ftdi.manufacturer, "FTDI");
    EXPECT_EQ(ftdi.product, "FT232R USB UART");
    EXPECT_EQ(ftdi.serialNumber, "A50285BI");

    const PortDetails uart = describePortDevice(dev_ / "ttyS0", sys_);
    EXPECT_EQ(uart.driver, "serial8250");
    EXPECT_EQ(uart.usbId, "");
    EXPECT_EQ(uart.product, "");

    EXPECT_EQ(describePortDevice(dev_ / "ttyUSB7", sys_).driver, "");
    EXPECT_EQ(describePortDevice(root_ / "pts-like", sys_).driver, "");
}

}  // namespace
}  // namespace tarnwick
