// The frame transport over a scripted line: the bytes each side puts on the
// line, the results, and the timeouts it leaves.
#include "frame_link.h"

#include <gtest/gtest.h>

#include <ostream>
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

Bytes littleEndian(std::uint32_t value, int count) {
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
        const Bytes body = Bytes{0xA5, 0x5A} + littleEndian(static_cast<std::uint32_t>(payload.size()), 2) + payload;
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

TEST(FrameLink, SendsTheRequestWithItsCrcAndLeavesTheOtherTimeouts) {
    testing::ScriptedLine line({Reply{{0x5F, 0x04}}.acked()});
    line.setTimeouts({1, 2, 3, 7, 9});
    Event quit{Event::Reset::Manual};
    SerialFrameLink link(line, quit, kTimings);
    FrameBuffer frame;
    frame.setHeader(0x01, 0x02, 0);

    ASSERT_EQ(link.exchange(frame, 2000), LinkResult::Success);
    EXPECT_EQ(frame.payload16(0), 0x045F);
    EXPECT_EQ(line.sent(), (Bytes{0x02, 0x01, 0x02, 0x00, 0x00, 0x0B, 0xB3, 0x38, 0xBB, 0x03, kAck}));
    EXPECT_EQ(line.getTimeouts(), (CommTimeouts{500, 100, 2000, 7, 9}));
}

// Over the request as it was sent, not over what a bad reply left behind.
TEST(FrameLink, ReplyIsLaidOverTheRequestAndAcknowledged) {
    Exchange exchange({Reply{.payload = Bytes(8, 0xEE), .crcFlip = 1}.acked(), Reply{{0xAA, 0xBB, 0xCC, 0xDD}}.acked()});
    ASSERT_EQ(exchange.link.exchange(exchange.request, 200), LinkResult::Success);
    EXPECT_EQ(exchange.line.sent(), exchange.hostSequence("RNRA"));
    EXPECT_EQ(exchange.request.length(), 4);
    EXPECT_EQ(exchange.request.payload32(0), 0xDDCCBBAAU);
    EXPECT_EQ(exchange.request.payload32(4), 0x17161514U);
    EXPECT_EQ(exchange.request.bytes()[0], 0xA5);
}

// One path through exchange: the target's answer to each request, and what
// the host makes of them.
struct ExchangeCase {
    const char* name;
    std::vector<Bytes> answers;
    LinkResult result;
    const char* hostSends;  // as hostSequence reads it
    bool quitBefore = false;
};

void PrintTo(const ExchangeCase& row, std::ostream* out) { *out << row.name; }

// Bad replies come on both attempts.
std::vector<Bytes> twice(const Reply& reply) { return {reply.acked(), reply.acked()}; }

// Its CRC covers what fits a frame, so that only the length refuses it.
std::vector<Bytes> overLongTwice() {
    const Bytes body = Bytes{0xA5, 0x5A} + littleEndian(static_cast<std::uint32_t>(kFramePayloadCapacity) + 1, 2) + Bytes(kFramePayloadCapacity, 3);
    const Bytes reply = Bytes{kAck, kStx} + body + Bytes{3} + littleEndian(frameCrc(body), 4) + Bytes{kEtx};
    return {reply, reply};
}

const ExchangeCase kExchangeCases[] = {
    {"EmptyReplyIsAccepted", {Reply{}.acked()}, LinkResult::Success, "RA"},
    {"NineStrayBytesAreTolerated", {Reply{{1}}.acked(Bytes(9, 0x55))}, LinkResult::Success, "RA"},
    {"TenStrayBytesFailTheAttemptWithoutANak", {Reply{{1}}.acked(Bytes(10, 0x55)), Reply{{1}}.acked()},
     LinkResult::Success, "RRA"},
    {"OverLongLengthIsAnsweredWithNak", overLongTwice(), LinkResult::CommError, "RNRN"},
    {"BadChecksumIsAnsweredWithNak", twice({.payload = {1, 2}, .crcFlip = 1}), LinkResult::CommError, "RNRN"},
    {"WrongEtxIsAnsweredWithNak", twice({.payload = {1, 2}, .etx = 0x55}), LinkResult::CommError, "RNRN"},
    {"CanIsARejection", {{kCan}, {}}, LinkResult::CrcError, "RR"},
    {"NakTwiceIsACommError", {{kNak}, {kNak}}, LinkResult::CommError, "RR"},
    {"QuitDuringTheReplyWaitCancelsWithoutAnAnswer", {{kAck}}, LinkResult::Cancelled, "R", true},
    {"QuitIsNotSeenBeforeTheTargetAcknowledges", {{}, {}}, LinkResult::CommError, "RR", true},
};

class FrameExchangeTest : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(FrameExchangeTest, GivesTheResultOfItsPath) {
    const ExchangeCase& row = GetParam();
    Exchange exchange(row.answers);
    if (row.quitBefore) {
        exchange.quit.set();
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange.link.exchange(exchange.request, 200), row.result);
    EXPECT_EQ(exchange.line.sent(), exchange.hostSequence(row.hostSends));
    if (row.result == LinkResult::Success) {
        return;
    }
    if (!row.quitBefore) {
        EXPECT_GE(std::chrono::steady_clock::now() - start, 2 * kTimings.failurePause) << "a pause after each";
    }
    exchange.sent.setCrc(exchange.sent.bodyCrc());
    EXPECT_TRUE(exchange.request == exchange.sent) << "a failed exchange keeps the request";
}

INSTANTIATE_TEST_SUITE_P(Paths, FrameExchangeTest, ::testing::ValuesIn(kExchangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick
