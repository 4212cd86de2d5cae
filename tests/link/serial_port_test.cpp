// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "pty_peer.h"
#include "scoped_environment.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPeerPort = 201;

class SerialPortTest : public ::testing::Test {
protected:
    SerialPortTest() { port.open(kPeerPort, 115200); }

    Bytes readHost(std::size_t count) {
        Bytes bytes(count);
        bytes.resize(port.read(bytes));
        return bytes;
    }

    testing::TemporaryPortFolder folder;
    testing::PtyPeer peer{folder, kPeerPort};
    SerialPort port;
};

TEST(PortNames, NumbersMapToDevicesUnlessAnAliasNamesThePort) {
    const testing::TemporaryPortFolder folder;
    const std::pair<int, std::optional<std::filesystem::path>> mapped[] = {
        {1, "/dev/ttyS0"},     {64, "/dev/ttyS63"}, {65, "/dev/ttyUSB0"},   {128, "/dev/ttyUSB63"},
        {129, "/dev/ttyACM0"}, {192, "/dev/ttyACM63"}, {0, std::nullopt}, {193, std::nullopt}};
    for (const auto& [number, device] : mapped) {
        EXPECT_EQ(portDevice(number), device) << number;
    }
    folder.addAlias(3, "/dev/null");
    EXPECT_EQ(portDevice(3), folder.path() / "COM3");
}

TEST(PortNames, EnumerationListsEveryAliasInOrderAndSkipsOtherNames) {
    testing::TemporaryPortFolder folder;
    folder.addAlias(212, "/dev/null");
    folder.addAlias(200, "/dev/missing");
    std::filesystem::create_symlink("/dev/null", folder.path() / "COM");
    std::filesystem::create_symlink("/dev/null", folder.path() / "COMx1");
    std::filesystem::create_symlink("/dev/null", folder.path() / "tty5");

    std::vector<int> ports{99};
    EXPECT_TRUE(enumeratePorts(ports));
    EXPECT_EQ(std::ranges::count(ports, 200), 1);
    EXPECT_EQ(std::ranges::count(ports, 212), 1);
    EXPECT_EQ(std::ranges::count(ports, 99), 0);
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
}

TEST(PortNames, FolderIsInTheConfigFolderAndNeverRelative) {
    const testing::ScopedEnvironment noPorts("TARNWICK_PORTS", nullptr);
    const testing::ScopedEnvironment config("XDG_CONFIG_HOME", "/tmp/config-home");
    EXPECT_EQ(portFolder(), "/tmp/config-home/Vornix/Tarnwick/ports");
    {
        // No folder at all: never an alias relative to the working folder.
        const testing::ScopedEnvironment noConfig("XDG_CONFIG_HOME", nullptr);
        const testing::ScopedEnvironment noHome("HOME", nullptr);
        EXPECT_EQ(portFolder(), "");
        EXPECT_EQ(portDevice(3), "/dev/ttyS2");
    }
}

// What an open that must fail throws.
template <typename Open>
CSerialException openFailure(Open open) {
    try {
        open();
    } catch (const CSerialException& failure) {
        return failure;
    }
    ADD_FAILURE() << "opened";
    return CSerialException(0);
}

TEST(SerialPortOpen, PortZeroAndMissingDevicesFailWithTheSystemText) {
    testing::TemporaryPortFolder folder;
    folder.addAlias(7, "/dev/no-such-device");
    SerialPort port;
    EXPECT_EQ(openFailure([&] { port.open(0, 115200); }).text(), "No such file or directory");
    EXPECT_EQ(openFailure([&] { port.open(7, 115200); }).error(), std::uint32_t{ENOENT});
    EXPECT_EQ(openFailure([&] { port.openDevice(folder.path() / "COM8", 115200); }).error(), std::uint32_t{ENOENT});
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, SecondOpenOfAHeldPortIsDeniedUntilItIsClosed) {
    SerialPort second;
    const std::filesystem::path device = std::filesystem::canonical(folder.path() / "COM201");
    for (const CSerialException& failure : {openFailure([&] { second.open(kPeerPort, 115200); }),
                                            openFailure([&] { second.openDevice(device, 115200); })}) {
        EXPECT_EQ(failure.text(), "Permission denied");
        EXPECT_TRUE(failure.portHeld());
    }
    EXPECT_FALSE(CSerialException(EACCES).portHeld());
    port.close();
    port.close();
    EXPECT_FALSE(port.isOpen());
    second.open(kPeerPort, 115200);
    EXPECT_TRUE(second.isOpen());
}

TEST_F(SerialPortTest, UnsupportedLineSettingsAreRefusedAndLeaveThePortUnusable) {
    port.close();
    EXPECT_THROW(port.open(kPeerPort, 12345), CSerialException);
    EXPECT_THROW(port.open(kPeerPort, 115200, Parity::None, 9), CSerialException);
    EXPECT_FALSE(port.isOpen());
    std::uint8_t byte = 0;
    EXPECT_THROW(port.read(std::span(&byte, 1)), CSerialException);
    EXPECT_THROW(port.write(std::span(&byte, 1)), CSerialException);
    EXPECT_THROW(port.purgeReceive(), CSerialException);
}

TEST_F(SerialPortTest, AReadEndsAfterItsTotalTimeOrAGapLongerThanTheInterval) {
    port.setTimeouts({500, 20, 100, 0, 0});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readHost(4).size(), 0U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 180ms);

    // No total limit: the first byte is awaited, then the gap ends the read.
    port.setTimeouts({50, 0, 0, 0, 0});
    std::jthread sender([this] {
        std::this_thread::sleep_for(100ms);
        peer.send({1, 2});
    });
    EXPECT_EQ(readHost(8), (Bytes{1, 2}));
}

TEST_F(SerialPortTest, PurgeDiscardsOnlyWhatWasReceived) {
    peer.send({9, 9, 9});
    std::this_thread::sleep_for(50ms);
    port.purgeReceive();
    port.write(Bytes{4});
    port.setTimeouts({0, 0, 50, 0, 0});
    EXPECT_TRUE(readHost(1).empty());
    EXPECT_EQ(peer.receive(1, 300ms), Bytes{4});
}

}  // namespace
}  // namespace tarnwick
