// SPDX-License-Identifier: GPL-2.0-or-later
// The frame transport over a scripted line: the bytes each side puts on the
// line, the results, and the timeouts it leaves.
#include "frame_link.h"

#include <gtest/gtest.h>

#include <string_view>

#include "scripted_line.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Bytes = testing::ScriptedLine::Bytes;

constexpr FrameTimings kTimings{20ms, 500, 100};

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes littleEndian(std::size_t value, int count) {
    Bytes bytes;
    for (int index = 0; index < count; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }
    return bytes;
}

Bytes onTheLine(const Bytes& body, std::uint32_t crcFlip = 0, std::uint8_t etx = kEtx) {
    return Bytes{kStx} + body + littleEndian(frameCrc(body) ^ crcFlip, 4) + Bytes{etx};
}

// A reply as the boot code acknowledges and sends it; fields can be spoiled,
// and stray bytes can come between the ACK and the reply.
struct Reply {
    Bytes payload{};
    std::uint32_t crcFlip = 0;
    std::uint8_t etx = kEtx;

    [[nodiscard]] Bytes acked(const Bytes& strayBytes = {}) const {
        const Bytes body = Bytes{0xA5, 0x5A} + littleEndian(payload.size(), 2) + payload;
        return Bytes{kAck} + strayBytes + onTheLine(body, crcFlip, etx);
    }
};

// An 8-byte request to a target answering the n-th request with answers[n].
struct Exchange {
    explicit Exchange(std::vector<Bytes> answers) : line(std::move(answers)) {
        request.setHeader(0x06, 0x02, 8);
        for (std::uint8_t index = 0; index < 8; ++index) {
            request.payload()[index] = static_cast<std::uint8_t>(0x10 + index);
        }
        sent = request;
    }

    // R: the request, A: ACK, N: NAK.
    [[nodiscard]] Bytes hostSequence(std::string_view steps) const {
        Bytes bytes;
        for (const char step : steps) {
            bytes = bytes + (step == 'R' ? onTheLine({sent.body().begin(), sent.body().end()})
                                         : Bytes{step == 'A' ? kAck : kNak});
        }
        return bytes;
    }

    testing::ScriptedLine line;
    Event quit{Event::Reset::Manual};
    SerialFrameLink link{line, quit, kTimings};
    FrameBuffer request;
    FrameBuffer sent;
};

TEST(FrameTimingsDefaults, AreTheBootCodeProtocolsWaits) {
    const FrameTimings timings;
    EXPECT_EQ(timings.failurePause, 600ms);
    EXPECT_EQ(timings.readIntervalMs, 500U);
    EXPECT_EQ(timings.readMultiplierMs, 100U);
}

// Over the request as it was sent, not over what a bad reply left behind;
// the line's other timeouts stay as they were.
TEST(FrameLink, SendsTheRequestWithItsCrcAndLaysTheReplyOverIt) {
    Exchange exchange({Reply{Bytes(8, 0xEE), 1}.acked(), Reply{{0xAA, 0xBB, 0xCC, 0xDD}}.acked()});
    exchange.line.setTimeouts({1, 2, 3, 7, 9});
    ASSERT_EQ(exchange.link.exchange(exchange.request, 200), LinkResult::Success);
    EXPECT_EQ(exchange.hostSequence("R"), (Bytes{0x02, 0x06, 0x02, 0x08, 0x00, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15,
                                                 0x16, 0x17, 0x05, 0x25, 0x17, 0x2A, 0x03}));
    EXPECT_EQ(exchange.line.getTimeouts(), (CommTimeouts{500, 100, 200, 7, 9}));
    EXPECT_EQ(exchange.line.sent(), exchange.hostSequence("RNRA"));
    EXPECT_EQ(exchange.request.length(), 4);
    EXPECT_EQ(exchange.request.payload32(0), 0xDDCCBBAAU);
    EXPECT_EQ(exchange.request.payload32(4), 0x17161514U);
}

// Its CRC covers what fits a frame, so that only the length refuses it.
Bytes overLong() {
    const Bytes body = Bytes{0xA5, 0x5A} + littleEndian(kFramePayloadCapacity + 1, 2) + Bytes(kFramePayloadCapacity, 3);
    return Bytes{kAck, kStx} + body + Bytes{3} + littleEndian(frameCrc(body), 4) + Bytes{kEtx};
}

TEST(FrameLink, EachPathThroughAnExchangeGivesItsResultAndItsBytes) {
    const Bytes badCrc = Reply{.payload = {1, 2}, .crcFlip = 1}.acked();
    const Bytes badEtx = Reply{.payload = {1, 2}, .etx = 0x55}.acked();
    // The target's answer to each request, and what the host makes of them;
    // bad replies come on both attempts.
    const struct {
        const char* name;
        std::vector<Bytes> answers;
        LinkResult result;
        const char* hostSends;  // as hostSequence reads it
        bool quitBefore = false;
    } cases[] = {
        {"empty reply", {Reply{}.acked()}, LinkResult::Success, "RA"},
        {"nine stray bytes are tolerated", {Reply{{1}}.acked(Bytes(9, 0x55))}, LinkResult::Success, "RA"},
        {"ten stray bytes fail the attempt without a NAK", {Reply{{1}}.acked(Bytes(10, 0x55)), Reply{{1}}.acked()},
         LinkResult::Success, "RRA"},
        {"over-long length", {overLong(), overLong()}, LinkResult::CommError, "RNRN"},
        {"bad checksum", {badCrc, badCrc}, LinkResult::CommError, "RNRN"},
        {"wrong ETX", {badEtx, badEtx}, LinkResult::CommError, "RNRN"},
        {"CAN is a rejection", {{kCan}, {}}, LinkResult::CrcError, "RR"},
        {"NAK twice", {{kNak}, {kNak}}, LinkResult::CommError, "RR"},
        {"quit during the reply wait", {{kAck}}, LinkResult::Cancelled, "R", true},
        {"quit is not seen before the target acknowledges", {{}, {}}, LinkResult::CommError, "RR", true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        Exchange exchange(row.answers);
        if (row.quitBefore) {
            exchange.quit.set();
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(exchange.link.exchange(exchange.request, 200), row.result);
        EXPECT_EQ(exchange.line.sent(), exchange.hostSequence(row.hostSends));
        if (row.result != LinkResult::Success) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, row.quitBefore ? 0ms : 2 * kTimings.failurePause)
                << "a pause after each attempt";
            exchange.sent.setCrc(exchange.sent.bodyCrc());
            EXPECT_TRUE(exchange.request == exchange.sent) << "a failed exchange keeps the request";
        }
    }
}

}  // namespace
}  // namespace tarnwick
