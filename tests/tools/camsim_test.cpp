// SPDX-License-Identifier: GPL-2.0-or-later
#include "simulated_camera.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "boot_code.h"
#include "boot_commands.h"
#include "connection.h"
#include "nor_flash.h"
#include "request_reader.h"
#include "serial_port.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBitRate = 115200;
constexpr std::uint32_t kShortReplyTimeout = 100;
constexpr std::uint32_t kLongReplyTimeout = 2000;
constexpr auto kLogWait = 2000ms;

FrameBuffer request(const BootCommand& command, std::initializer_list<std::uint32_t> words = {}) {
    FrameBuffer frame;
    frame.setHeader(command.code, static_cast<std::uint8_t>(command.group),
                    static_cast<std::uint16_t>(4 * words.size()));
    std::size_t offset = 0;
    for (const std::uint32_t word : words) {
        frame.setPayload32(offset, word);
        offset += 4;
    }
    return frame;
}

FrameBuffer writeRequest(std::uint32_t address, const Bytes& data) {
    FrameBuffer frame;
    buildWriteData(frame, address, data);
    return frame;
}

// The flash identity request as it goes on the line.
const Bytes kFlashIdRequest{kStx, 0x01, 0x02, 0x00, 0x00, 0x0B, 0xB3, 0x38, 0xBB, kEtx};

Bytes bytesOf(std::span<const std::uint8_t> span) { return {span.begin(), span.end()}; }

std::pair<std::uint32_t, std::uint32_t> words(const FrameBuffer& reply) {
    return {reply.payload32(0), reply.payload32(4)};
}

CommandId idOf(const BootCommand& command) { return {static_cast<std::uint8_t>(command.group), command.code}; }

// ---------------------------------------------------------------- the camera without a line

TEST(CamsimNorFlash, ProgrammingOnlyClearsBitsAndEraseWorksBySectorOrWholeChip) {
    NorFlash flash("MBM29DL324BE");
    ASSERT_EQ(flash.size(), 0x400000U);
    EXPECT_TRUE(flash.isBlank(0, flash.size()));
    flash.program(0x2000, Bytes{0xF0, 0x0F});
    flash.program(0x2000, Bytes{0x3C, 0xFF});
    EXPECT_EQ(bytesOf(flash.read(0x2000, 2)), (Bytes{0x30, 0x0F}));
    EXPECT_FALSE(flash.eraseSector(0x2001));
    EXPECT_TRUE(flash.eraseSector(0x0000));
    EXPECT_FALSE(flash.isBlank(0x2000, 2)) << "erasing the first sector must not reach the second";
    EXPECT_TRUE(flash.eraseSector(0x2000));
    EXPECT_TRUE(flash.isBlank(0, 0x10000));

    NorFlash unmapped("AT29LV1024");
    unmapped.program(0, Bytes{0});
    EXPECT_FALSE(unmapped.eraseSector(0));
    unmapped.eraseChip();
    EXPECT_TRUE(unmapped.isBlank(0, unmapped.size()));
    EXPECT_FALSE(unmapped.contains(unmapped.size() - 1, 2));
    EXPECT_THROW(static_cast<void>(unmapped.read(unmapped.size(), 1)), std::out_of_range);
    EXPECT_THROW(NorFlash("Unknown"), std::invalid_argument);  // the catalogue's row for chips it does not know
    EXPECT_THROW(NorFlash("NoSuchChip"), std::invalid_argument);
}

TEST(CamsimRequestReader, SkipsGarbageAndResynchronisesOnStx) {
    Bytes line{0x00, 0xFF, kEtx};
    // An over-long length field drops the frame; its STX does not hide the next one.
    const Bytes overlong{kStx, 0x01, 0x02, 0x01, 0x10};
    line.insert(line.end(), overlong.begin(), overlong.end());
    // A frame whose ETX slot holds STX: that STX opens the good frame.
    line.insert(line.end(), kFlashIdRequest.begin(), kFlashIdRequest.end() - 1);
    line.insert(line.end(), kFlashIdRequest.begin(), kFlashIdRequest.end());

    RequestReader reader;
    std::vector<ReceivedFrame> frames;
    for (const std::uint8_t byte : line) {
        if (auto frame = reader.feed(byte)) {
            frames.push_back(std::move(*frame));
        }
    }
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].raw, kFlashIdRequest);
    EXPECT_TRUE(frames[0].crcGood);
    EXPECT_EQ(reader.takeSkipped(), 3 + overlong.size() + kFlashIdRequest.size() - 1);
}

TEST(CamsimBootCode, AnswersVersionBlankStatusReadsWritesAndErasesAndRejectsBadRequests) {
    BootCode boot("MBM29DL324BE", "BLS v2.11 (sim)");
    const auto version = boot.answer(request(kReadVersionInfo));
    EXPECT_STREQ(reinterpret_cast<const char*>(version->payload().data()), "BLS v2.11 (sim)");
    EXPECT_EQ(boot.answer(request(kBlankCheck, {0x10000, 0x10000}))->payload16(0), 0x0001);
    boot.flash().preset(0x1FFFF, Bytes{0x7F});
    EXPECT_EQ(boot.answer(request(kBlankCheck, {0x10000, 0x10000}))->payload16(0), 0x0101);

    boot.flash().preset(0x2000, Bytes{1, 2, 3});
    const auto read = boot.answer(request(kReadData, {0x2000, 3}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->length(), 11);
    EXPECT_EQ(read->payload()[8 + 2], 3);

    boot.flash().preset(0, Bytes{0});
    const auto erased = boot.answer(request(kEraseSectors, {0x2001, 0x0000, 0x2000, kSectorListEnd}), Shortfalls{1, 0});
    ASSERT_TRUE(erased);
    EXPECT_EQ(erased->payload32(0), 1U) << "one address is no sector start, one is left out";
    EXPECT_TRUE(boot.flash().isBlank(0, 0x2000));
    EXPECT_FALSE(boot.flash().isBlank(0x2000, 3));

    const auto written = boot.answer(writeRequest(0x20000, {1, 2, 3, 4}), Shortfalls{0, 1});
    ASSERT_TRUE(written);
    EXPECT_EQ(words(*written), std::pair(3U, 4U));
    EXPECT_EQ(bytesOf(boot.flash().read(0x20000, 4)), (Bytes{1, 2, 3, 0xFF}));

    EXPECT_FALSE(boot.answer(request(BootCommand{0x09, CommandGroup::Flash, 0})));
    EXPECT_FALSE(boot.answer(request(kBlankCheck, {0})));
    EXPECT_FALSE(boot.answer(request(kReadData, {0x3FFFFF, 2})));
    EXPECT_FALSE(boot.answer(request(kReadData, {0, kMaxDataPerFrame + 1})));
    FrameBuffer shortWrite = writeRequest(0, {1, 2, 3});
    shortWrite.setLength(10);
    EXPECT_FALSE(boot.answer(shortWrite));
    EXPECT_FALSE(boot.answer(request(kEraseSectors, {0x2000})));
}

TEST(CamsimBootCode, ChecksumRepliesFollowTheBootVersion) {
    BootCode older("MBM29DL324BE", "BLS v2.10");
    const auto single = older.answer(request(kGetSectorCrc, {0, 0x2000}));
    ASSERT_TRUE(single);
    EXPECT_EQ(single->length(), 4);
    const std::uint32_t erased = frameCrc(older.flash().read(0, 0x2000));
    EXPECT_EQ(single->payload32(0), erased);

    BootCode current("MBM29DL324BE", "BLS v2.11");
    const auto ask = [&](const BootCommand& command) { return *current.answer(request(command, {0, 0x2000})); };
    EXPECT_EQ(ask(kGetSectorCrc).length(), 8);
    EXPECT_EQ(words(ask(kGetSectorCrc)), std::pair(0xFFFFFFFFU, erased));
    EXPECT_EQ(words(ask(kSetSectorCrc)), std::pair(erased, erased));
    // The stored value only loses bits, until the sector is erased.
    current.flash().preset(0, Bytes{0x12});
    const auto [stored, computed] = words(ask(kSetSectorCrc));
    EXPECT_NE(stored, computed);
    current.answer(request(kEraseSectors, {0, kSectorListEnd}));
    const auto [fresh, recomputed] = words(ask(kSetSectorCrc));
    EXPECT_EQ(fresh, recomputed);
}

// ---------------------------------------------------------------- over the line

class CamsimLineTest : public ::testing::Test {
protected:
    // Takes the ready byte first, so that it cannot stand for an acknowledgement.
    CamsimLineTest() {
        port_.open(camera_.portNumber(), kBitRate);
        EXPECT_EQ(nextByte(), kReadyByte);
    }

    // The next byte the camera sends, if one comes in time.
    std::optional<std::uint8_t> nextByte() {
        port_.setTimeouts(CommTimeouts{0, 0, 2000});
        std::array<std::uint8_t, 1> byte{};
        return port_.read(byte) == 1 ? std::optional(byte[0]) : std::nullopt;
    }

    LinkResult exchange(const BootCommand& command, std::uint32_t timeout = kLongReplyTimeout) {
        FrameBuffer frame = request(command);
        return link_.exchange(frame, timeout);
    }

    testing::TemporaryPortFolder ports_;
    SimulatedCamera camera_{CameraOptions{.readyDelay = 20ms, .flashFile = {}}};
    SerialPort port_;
    Event quit_{Event::Reset::Manual};
    SerialFrameLink link_{port_, quit_, FrameTimings{10ms, 500, 100}};
};

TEST_F(CamsimLineTest, LogsTheHostsFramesAnswersDamagedOnesWithCanAndFallsSilentAfterClosingUntilAReset) {
    EXPECT_EQ(exchange(kReadFlashId), LinkResult::Success);
    EXPECT_EQ(exchange(kCloseSessionFirst), LinkResult::Success);
    EXPECT_EQ(exchange(kCloseSessionSecond), LinkResult::Success);
    ASSERT_TRUE(camera_.waitForHostAnswers(3, kLogWait));
    EXPECT_EQ(camera_.hostAnswers(), (Bytes{kAck, kAck, kAck}));
    const auto requests = camera_.requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(requests[0].raw, kFlashIdRequest);

    // The firmware runs now.
    EXPECT_EQ(exchange(kReadFlashId, kShortReplyTimeout), LinkResult::CommError);
    camera_.resetCamera();
    EXPECT_EQ(nextByte(), kReadyByte);
    EXPECT_EQ(exchange(kReadFlashId), LinkResult::Success);

    auto damaged = kFlashIdRequest;
    damaged[5] ^= 0xFF;
    camera_.clearLog();
    port_.write(damaged);
    EXPECT_EQ(nextByte(), kCan);
    ASSERT_TRUE(camera_.waitForRequests(1, kLogWait));
    EXPECT_FALSE(camera_.requests()[0].crcGood);
}

TEST_F(CamsimLineTest, EachFaultOfOneExchangeIsSeenByTheHost) {
    // A bad reply frame is waited for only as long as the short reply timeout.
    const struct {
        const char* name;
        std::vector<Fault> faults;
        std::uint32_t replyTimeout;
        LinkResult result;
        Bytes hostAnswers;
        std::size_t requests;
    } rows[] = {
        {"wrong reply checksum", {{FaultKind::WrongReplyCrc}}, kShortReplyTimeout, LinkResult::Success, {kNak, kAck}, 2},
        {"missing ETX", {{FaultKind::MissingEtx}}, kShortReplyTimeout, LinkResult::Success, {kNak, kAck}, 2},
        {"length 0xFFFF", {{FaultKind::OverlongLength}}, kShortReplyTimeout, LinkResult::Success, {kNak, kAck}, 2},
        {"length 4097", {{FaultKind::OverlongLength, std::nullopt, 1, 1, 4097}}, kShortReplyTimeout,
         LinkResult::Success, {kNak, kAck}, 2},
        {"9 noise bytes and a delay",
         {{FaultKind::NoiseBeforeStx, std::nullopt, 1, 1, 9}, {FaultKind::DelayReply, std::nullopt, 1, 1, 0, 50ms}},
         kLongReplyTimeout, LinkResult::Success, {kAck}, 1},
        // The host sends its request again, without a NAK.
        {"10 noise bytes", {{FaultKind::NoiseBeforeStx, std::nullopt, 1, 1, 10}}, kLongReplyTimeout,
         LinkResult::Success, {kAck}, 2},
        {"CAN twice", {{FaultKind::CanInsteadOfAck, std::nullopt, 1, 2}}, kShortReplyTimeout, LinkResult::CrcError,
         {}, 2},
        // A rejection stands even when the second attempt fails otherwise.
        {"CAN, then a wrong checksum", {{FaultKind::CanInsteadOfAck}, {FaultKind::WrongReplyCrc, std::nullopt, 2}},
         kShortReplyTimeout, LinkResult::CrcError, {kNak}, 2},
        // Left scheduled: the requests of this table are of another command.
        {"a fault for another command", {{FaultKind::CanInsteadOfAck, idOf(kReadVersionInfo)}}, kShortReplyTimeout,
         LinkResult::Success, {kAck}, 1},
    };
    for (const auto& row : rows) {
        camera_.clearLog();
        for (const Fault& fault : row.faults) {
            camera_.scheduleFault(fault);
        }
        EXPECT_EQ(exchange(kReadFlashId, row.replyTimeout), row.result) << row.name;
        EXPECT_EQ(camera_.counters().requests, row.requests) << row.name;
        if (!row.hostAnswers.empty()) {
            ASSERT_TRUE(camera_.waitForHostAnswers(row.hostAnswers.size(), kLogWait)) << row.name;
        }
        EXPECT_EQ(camera_.hostAnswers(), row.hostAnswers) << row.name;
    }
}

}  // namespace
}  // namespace tarnwick
