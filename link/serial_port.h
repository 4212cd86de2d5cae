// SPDX-License-Identifier: GPL-2.0-or-later
// One serial port, opened raw through termios, with the read timeouts the
// frame transport and the connection procedure rely on.
//
// Port numbers name ports as "COM<n>". An entry "COM<n>" in the port folder
// (a symlink to a device, or a device node) is port n; otherwise n maps to
// /dev/ttyS<n-1> (1-64), /dev/ttyUSB<n-65> (65-128), /dev/ttyACM<n-129>
// (129-192). The port folder is $TARNWICK_PORTS, by default "ports" in the
// configuration folder (config_folder.h); without either there is none.
//
// An open port holds an exclusive advisory lock on its device, so a second
// open by any process fails with EACCES, the access-denied error, marked as
// held by another program (the open itself may be denied too). Every
// refused system call raises CSerialException; a read that runs out of time
// returns what arrived and raises nothing.
//
// A SerialPort is used by one thread at a time, except interrupt(), which
// another thread calls to end that thread's wait on the line at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "unique_fd.h"

namespace tarnwick {

// Milliseconds. For a read of n bytes: it returns once n bytes arrived; or,
// after the first byte, when the gap between two bytes exceeds the interval;
// or when multiplier * n + constant have passed since the read began. All
// zero waits for all n bytes. The write values are kept but not used.
struct CommTimeouts {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;

    friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

enum class Parity : std::uint8_t { Even = 0, Mark = 1, None = 2, Odd = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
enum class FlowControl : std::uint8_t { None = 0, CtsRts = 1, CtsDtr = 2, DsrRts = 3, DsrDtr = 4, XonXoff = 5 };

// A refused port operation: the errno of the failure and its system text.
class CSerialException : public std::exception {
public:
    explicit CSerialException(std::uint32_t error);
    // EACCES for a port whose lock another program holds.
    static CSerialException heldByAnotherProgram();

    [[nodiscard]] std::uint32_t error() const { return error_; }
    // The port was denied because another program has it open, not by the
    // device's permissions.
    [[nodiscard]] bool portHeld() const { return portHeld_; }
    // The system's message for the error, at most 4095 characters.
    [[nodiscard]] const std::string& text() const { return text_; }
    [[nodiscard]] const char* what() const noexcept override { return text_.c_str(); }

private:
    std::uint32_t error_;
    std::string text_;
    bool portHeld_ = false;
};

// The folder whose COM<n> entries name ports; empty when there is none.
std::filesystem::path portFolder();
// The device that port n names; nothing for a number that names none.
std::optional<std::filesystem::path> portDevice(int portNumber);
// The same with an alias followed to the device it names, as users know it.
std::optional<std::filesystem::path> resolvedPortDevice(int portNumber);

// Whether open() takes this bit rate.
bool acceptsBitRate(std::uint32_t bitRate);

// Port numbers in ascending order: every alias in the port folder, and every
// mapped device that exists and is a real serial port. True when any.
bool enumeratePorts(std::vector<int>& ports);

// The byte line that the frame transport talks through, with the meaning
// that SerialPort gives each member below. SerialPort is the one real line;
// a stand-in may feed the transport bytes it scripts.
class SerialLine {
public:
    virtual ~SerialLine() = default;
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    virtual std::size_t write(std::span<const std::uint8_t> buffer) = 0;
    virtual void transmitChar(std::uint8_t byte) = 0;
    virtual void purgeReceive() = 0;
    [[nodiscard]] virtual CommTimeouts getTimeouts() const = 0;
    virtual void setTimeouts(const CommTimeouts& timeouts) = 0;
};

class SerialPort : public SerialLine {
public:
    // Raises CSerialException when the system gives no wake-up descriptor.
    SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() override;

    // The one configuration the system uses is the default of every
    // argument but the first two: 8N1, no flow control. A fresh tty is
    // cooked; the port is made raw (no echo, no translation, no signals).
    void open(int portNumber, std::uint32_t bitRate, Parity parity = Parity::None, std::uint8_t dataBits = 8,
              StopBits stopBits = StopBits::One, FlowControl flowControl = FlowControl::None);
    // The same for a device given by its path (a device node, or a symlink
    // to one such as /dev/serial/by-id/...), whatever number it may have.
    void openDevice(const std::filesystem::path& device, std::uint32_t bitRate, Parity parity = Parity::None,
                    std::uint8_t dataBits = 8, StopBits stopBits = StopBits::One,
                    FlowControl flowControl = FlowControl::None);
    // Never raises; closing a closed port does nothing.
    void close() noexcept;
    [[nodiscard]] bool isOpen() const { return fd_.valid(); }

    // Blocks under the current timeouts; returns the bytes received.
    std::size_t read(std::span<std::uint8_t> buffer) override;
    // Blocks until the kernel holds every byte; returns the bytes written.
    std::size_t write(std::span<const std::uint8_t> buffer) override;
    // From any thread: reads and writes return at once with what they moved
    // so far, until clearInterrupt(). A stopping worker must not wait out a
    // camera that no longer answers.
    void interrupt() noexcept;
    void clearInterrupt() noexcept;
    // True once the line is gone for good: the other end hung up (a camera
    // that ended, an adapter that was unplugged) or the descriptor failed.
    // Never waits; false for a closed port.
    [[nodiscard]] bool lineDropped() const;
    // Sends one byte ahead of anything still queued for output.
    void transmitChar(std::uint8_t byte) override;
    // Holds the line in break until clearBreak.
    void setBreak();
    void clearBreak();
    // Discards received bytes not yet read; the output side is untouched.
    void purgeReceive() override;
    [[nodiscard]] CommTimeouts getTimeouts() const override;
    void setTimeouts(const CommTimeouts& timeouts) override;

private:
    void configure(std::uint32_t bitRate, Parity parity, std::uint8_t dataBits, StopBits stopBits,
                   FlowControl flowControl);
    void requireOpen() const;

    std::optional<short> waitReady(short events, int timeoutMs) const;

    UniqueFd fd_;
    // Readable while interrupted; every wait on the line watches it too.
    UniqueFd wakeFd_;
    CommTimeouts timeouts_{};
};

}  // namespace tarnwick
