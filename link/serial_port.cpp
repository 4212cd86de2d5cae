// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>

#include "config_folder.h"
#include "system_error.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxErrorText = 4095;
constexpr std::uint32_t kNoWait = 0xFFFFFFFF;

struct DeviceRange {
    int firstPort;
    int lastPort;
    const char* prefix;
};

constexpr std::array kDeviceRanges{
    DeviceRange{1, 64, "/dev/ttyS"},
    DeviceRange{65, 128, "/dev/ttyUSB"},
    DeviceRange{129, 192, "/dev/ttyACM"},
};

struct BitRate {
    std::uint32_t rate;
    speed_t speed;
};

constexpr std::array kBitRates{
    BitRate{50, B50},         BitRate{75, B75},         BitRate{110, B110},       BitRate{134, B134},
    BitRate{150, B150},       BitRate{200, B200},       BitRate{300, B300},       BitRate{600, B600},
    BitRate{1200, B1200},     BitRate{1800, B1800},     BitRate{2400, B2400},     BitRate{4800, B4800},
    BitRate{9600, B9600},     BitRate{19200, B19200},   BitRate{38400, B38400},   BitRate{57600, B57600},
    BitRate{115200, B115200}, BitRate{230400, B230400}, BitRate{460800, B460800}, BitRate{921600, B921600},
};

[[noreturn]] void failWithErrno() { throw CSerialException(static_cast<std::uint32_t>(errno)); }

[[noreturn]] void failWith(int error) { throw CSerialException(static_cast<std::uint32_t>(error)); }

std::string limitedSystemText(std::uint32_t error) {
    std::string text = SystemText(static_cast<int>(error));
    if (text.size() > kMaxErrorText) {
        text.resize(kMaxErrorText);
    }
    return text;
}

std::string aliasName(int portNumber) { return "COM" + std::to_string(portNumber); }

// The number of an alias entry "COM<n>", n > 0.
std::optional<int> aliasNumber(const std::string& name) {
    constexpr std::string_view prefix = "COM";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    int number = 0;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc{} || end != last || number <= 0) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::filesystem::path> mappedDevice(int portNumber) {
    for (const DeviceRange& range : kDeviceRanges) {
        if (portNumber >= range.firstPort && portNumber <= range.lastPort) {
            return std::string(range.prefix) + std::to_string(portNumber - range.firstPort);
        }
    }
    return std::nullopt;
}

bool isCharacterDevice(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_character_file(path, error);
}

// A ttyS node exists for every possible UART; the kernel reports the type of
// the chip behind it, 0 when there is none.
bool hasUartBehind(const std::filesystem::path& device) {
    std::ifstream typeFile("/sys/class/tty/" + device.filename().string() + "/type");
    int type = 0;
    return typeFile >> type && type != 0;
}

bool isRealSerialDevice(int portNumber, const std::filesystem::path& device) {
    if (!isCharacterDevice(device)) {
        return false;
    }
    return portNumber > kDeviceRanges[0].lastPort || hasUartBehind(device);
}

std::vector<int> aliasPorts() {
    std::vector<int> ports;
    std::error_code error;
    // increment(error), as a folder that fails half-way must not throw.
    for (std::filesystem::directory_iterator entry(portFolder(), error), end; !error && entry != end;
         entry.increment(error)) {
        if (const auto number = aliasNumber(entry->path().filename().string())) {
            ports.push_back(*number);
        }
    }
    return ports;
}

speed_t speedOf(std::uint32_t bitRate) {
    const auto found = std::find_if(kBitRates.begin(), kBitRates.end(),
                                    [bitRate](const BitRate& entry) { return entry.rate == bitRate; });
    if (found == kBitRates.end()) {
        failWith(EINVAL);
    }
    return found->speed;
}

tcflag_t characterSize(std::uint8_t dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        case 8: return CS8;
        default: failWith(EINVAL);
    }
}

void applyParity(termios& settings, Parity parity) {
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case Parity::None: break;
        case Parity::Even: settings.c_cflag |= PARENB; break;
        case Parity::Odd: settings.c_cflag |= PARENB | PARODD; break;
        case Parity::Mark: settings.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case Parity::Space: settings.c_cflag |= PARENB | CMSPAR; break;
    }
}

// termios knows one and two stop bits only; 1.5 is what two means at 5 data bits.
void applyStopBits(termios& settings, StopBits stopBits) {
    if (stopBits == StopBits::One) {
        settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    } else {
        settings.c_cflag |= CSTOPB;
    }
}

// termios has one hardware handshake, RTS/CTS; the DSR/DTR variants map to it.
void applyFlowControl(termios& settings, FlowControl flowControl) {
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    switch (flowControl) {
        case FlowControl::None: break;
        case FlowControl::CtsRts:
        case FlowControl::CtsDtr:
        case FlowControl::DsrRts:
        case FlowControl::DsrDtr: settings.c_cflag |= CRTSCTS; break;
        case FlowControl::XonXoff:
            settings.c_iflag |= IXON | IXOFF;
            settings.c_cc[VSTART] = 0x11;
            settings.c_cc[VSTOP] = 0x13;
            break;
    }
}

std::chrono::milliseconds ms(std::uint32_t value) { return std::chrono::milliseconds(value); }

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1'000'000'000));
}

}  // namespace

CSerialException::CSerialException(std::uint32_t error) : error_(error), text_(limitedSystemText(error)) {}

CSerialException CSerialException::heldByAnotherProgram() {
    CSerialException held(EACCES);
    held.portHeld_ = true;
    return held;
}

bool acceptsBitRate(std::uint32_t bitRate) {
    return std::ranges::any_of(kBitRates, [bitRate](const BitRate& entry) { return entry.rate == bitRate; });
}

std::filesystem::path portFolder() {
    if (const char* folder = std::getenv("TARNWICK_PORTS"); folder != nullptr && *folder != '\0') {
        return folder;
    }
    const std::filesystem::path config = ConfigFolder();
    return config.empty() ? config : config / "ports";
}

std::optional<std::filesystem::path> portDevice(int portNumber) {
    if (portNumber <= 0) {
        return std::nullopt;
    }
    if (const std::filesystem::path folder = portFolder(); !folder.empty()) {
        const std::filesystem::path alias = folder / aliasName(portNumber);
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(alias, error))) {
            return alias;
        }
    }
    return mappedDevice(portNumber);
}

std::optional<std::filesystem::path> resolvedPortDevice(int portNumber) {
    const std::optional<std::filesystem::path> device = portDevice(portNumber);
    if (!device) {
        return std::nullopt;
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(*device, error);
    return error ? *device : resolved;
}

bool enumeratePorts(std::vector<int>& ports) {
    ports = aliasPorts();
    for (const DeviceRange& range : kDeviceRanges) {
        for (int number = range.firstPort; number <= range.lastPort; ++number) {
            if (std::find(ports.begin(), ports.end(), number) != ports.end()) {
                continue;
            }
            if (isRealSerialDevice(number, *mappedDevice(number))) {
                ports.push_back(number);
            }
        }
    }
    std::sort(ports.begin(), ports.end());
    return !ports.empty();
}

SerialPort::SerialPort() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!wakeFd_.valid()) {
        failWithErrno();
    }
}

SerialPort::~SerialPort() = default;

void SerialPort::interrupt() noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_.get(), &one, sizeof one);
}

void SerialPort::clearInterrupt() noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(wakeFd_.get(), &count, sizeof count);
}

// The line's returned events; nothing on timeout or interrupt. A signal
// that breaks the wait starts it again.
std::optional<short> SerialPort::waitReady(short events, int timeoutMs) const {
    std::array watch{pollfd{fd_.get(), events, 0}, pollfd{wakeFd_.get(), POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watch.data(), watch.size(), timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            failWithErrno();
        }
        if (ready == 0 || watch[1].revents != 0) {
            return std::nullopt;
        }
        return watch[0].revents;
    }
}

bool SerialPort::lineDropped() const {
    if (!fd_.valid()) {
        return false;
    }
    // No events asked for: poll reports the hang-up and error states anyway.
    pollfd watch{fd_.get(), 0, 0};
    while (::poll(&watch, 1, 0) < 0) {
        if (errno != EINTR) {
            return true;
        }
    }
    return (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SerialPort::open(int portNumber, std::uint32_t bitRate, Parity parity, std::uint8_t dataBits,
                      StopBits stopBits, FlowControl flowControl) {
    close();
    const auto device = portDevice(portNumber);
    if (!device) {
        failWith(ENOENT);
    }
    openDevice(*device, bitRate, parity, dataBits, stopBits, flowControl);
}

void SerialPort::openDevice(const std::filesystem::path& device, std::uint32_t bitRate, Parity parity,
                            std::uint8_t dataBits, StopBits stopBits, FlowControl flowControl) {
    close();
    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        failWithErrno();
    }
    // Exclusive use by any process, root included; a held port reads as
    // access denied, as a port held by another program should.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            throw CSerialException::heldByAnotherProgram();
        }
        failWith(error);
    }
    fd_ = std::move(fd);
    try {
        configure(bitRate, parity, dataBits, stopBits, flowControl);
    } catch (const CSerialException&) {
        close();
        throw;
    }
}

void SerialPort::configure(std::uint32_t bitRate, Parity parity, std::uint8_t dataBits, StopBits stopBits,
                           FlowControl flowControl) {
    termios settings{};
    if (::tcgetattr(fd_.get(), &settings) != 0) {
        failWithErrno();
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CREAD | CLOCAL;
    settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | characterSize(dataBits);
    applyParity(settings, parity);
    applyStopBits(settings, stopBits);
    applyFlowControl(settings, flowControl);
    // Reads are timed with poll(); the descriptor itself never blocks.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = speedOf(bitRate);
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0 ||
        ::tcsetattr(fd_.get(), TCSANOW, &settings) != 0) {
        failWithErrno();
    }
}

// A failed close() still releases the descriptor and its lock; nothing to report.
void SerialPort::close() noexcept { fd_.close(); }

void SerialPort::requireOpen() const {
    if (!fd_.valid()) {
        failWith(EBADF);
    }
}

std::size_t SerialPort::read(std::span<std::uint8_t> buffer) {
    requireOpen();
    const CommTimeouts& t = timeouts_;
    const bool returnAtOnce =
        t.readIntervalTimeout == kNoWait && t.readTotalTimeoutMultiplier == 0 && t.readTotalTimeoutConstant == 0;
    const bool totalLimited = t.readTotalTimeoutMultiplier != 0 || t.readTotalTimeoutConstant != 0;
    const auto start = Clock::now();
    const auto totalDeadline =
        start + ms(t.readTotalTimeoutMultiplier) * static_cast<long long>(buffer.size()) + ms(t.readTotalTimeoutConstant);

    std::size_t received = 0;
    while (received < buffer.size()) {
        int waitMs = -1;
        if (returnAtOnce) {
            waitMs = 0;
        } else {
            if (totalLimited) {
                waitMs = remainingMs(totalDeadline);
            }
            if (received > 0 && t.readIntervalTimeout != 0) {
                const int interval = static_cast<int>(std::min<std::uint32_t>(t.readIntervalTimeout, 1'000'000'000));
                waitMs = waitMs < 0 ? interval : std::min(waitMs, interval);
            }
        }
        const std::optional<short> events = waitReady(POLLIN, waitMs);
        if (!events) {
            break;
        }
        const ssize_t count = ::read(fd_.get(), buffer.data() + received, buffer.size() - received);
        if (count > 0) {
            received += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
            failWithErrno();
        } else if (count == 0 || (*events & (POLLHUP | POLLERR)) != 0) {
            // The other end hung up: nothing will ever arrive.
            failWith(EIO);
        }
    }
    return received;
}

std::size_t SerialPort::write(std::span<const std::uint8_t> buffer) {
    requireOpen();
    std::size_t written = 0;
    while (written < buffer.size()) {
        const ssize_t count = ::write(fd_.get(), buffer.data() + written, buffer.size() - written);
        if (count >= 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            failWithErrno();
        }
        if (!waitReady(POLLOUT, -1)) {
            break;
        }
    }
    return written;
}

// Nothing is queued ahead of us: write() returns only once the kernel holds
// every byte, so an ordinary write sends the byte next.
void SerialPort::transmitChar(std::uint8_t byte) { write(std::span(&byte, 1)); }

void SerialPort::setBreak() {
    requireOpen();
    if (::ioctl(fd_.get(), TIOCSBRK) != 0) {
        failWithErrno();
    }
}

void SerialPort::clearBreak() {
    requireOpen();
    if (::ioctl(fd_.get(), TIOCCBRK) != 0) {
        failWithErrno();
    }
}

void SerialPort::purgeReceive() {
    requireOpen();
    if (::tcflush(fd_.get(), TCIFLUSH) != 0) {
        failWithErrno();
    }
}

CommTimeouts SerialPort::getTimeouts() const {
    requireOpen();
    return timeouts_;
}

void SerialPort::setTimeouts(const CommTimeouts& timeouts) {
    requireOpen();
    timeouts_ = timeouts;
}

}  // namespace tarnwick
