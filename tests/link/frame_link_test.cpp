#include "frame_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string_view>
#include <thread>

#include "pty_peer.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPeerPort = 202;
constexpr FrameTimings kFastTimings{std::chrono::milliseconds(20), 50, 5};

Bytes littleEndian(std::uint32_t value, int count) {
    Bytes bytes;
    for (int index = 0; index < count; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }
    return bytes;
}

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes onTheLine(const Bytes& body, std::uint32_t crcFlip = 0, bool withEtx = true) {
    Bytes bytes = Bytes{kStx} + body + littleEndian(frameCrc(body) ^ crcFlip, 4);
    if (withEtx) {
        bytes.push_back(kEtx);
    }
    return bytes;
}

// A reply as the boot code acknowledges and sends it; fields can be spoiled,
// and stray bytes can come between the ACK and the reply.
struct Reply {
    Bytes payload{};
    std::optional<std::uint16_t> lengthField{};
    std::uint32_t crcFlip = 0;
    bool withEtx = true;

    [[nodiscard]] Bytes acked(const Bytes& strayBytes = {}) const {
        const auto length = lengthField.value_or(static_cast<std::uint16_t>(payload.size()));
        return Bytes{kAck} + strayBytes + onTheLine(Bytes{0xA5, 0x5A} + littleEndian(length, 2) + payload, crcFlip, withEtx);
    }
};

class FrameLinkTest : public ::testing::Test {
protected:
    FrameLinkTest() {
        port.open(kPeerPort, 115200);
        request.setHeader(0x06, 0x02, 8);
        for (std::uint8_t index = 0; index < 8; ++index) {
            request.payload()[index] = static_cast<std::uint8_t>(0x10 + index);
        }
    }

    LinkResult exchangeWhile(const std::function<void()>& peerSide) {
        std::jthread target(peerSide);
        return link.exchange(request, 200);
    }

    // The peer answers each request with the next of answers; hostSent
    // records all the host put on the line, the verdict on the last answer too.
    LinkResult exchangeWith(const std::vector<Bytes>& answers, bool quitOnFirstRequest = false) {
        return exchangeWhile([&] {
            for (const Bytes& answer : answers) {
                hostSent = hostSent + throughNextFrame();
                if (quitOnFirstRequest) {
                    quit.set();
                }
                peer.send(answer);
            }
            hostSent = hostSent + peer.receive(1, 300ms);
        });
    }

    // What the host sends through the end of its next request; without a
    // request, what came before a second of silence.
    Bytes throughNextFrame() const {
        Bytes bytes;
        for (Bytes next = peer.receive(1, 1s); !next.empty(); next = peer.receive(1, 1s)) {
            bytes.push_back(next.front());
            if (next.front() == kStx) {
                const Bytes header = peer.receive(4, 1s);
                const std::size_t rest = header.size() < 4 ? 0 : (header[2] | header[3] << 8) + 5U;
                return bytes + header + peer.receive(rest, 1s);
            }
        }
        return bytes;
    }

    // R: the request, A: ACK, N: NAK.
    static Bytes hostSequence(std::string_view steps, const FrameBuffer& sent) {
        const Bytes request = onTheLine({sent.body().begin(), sent.body().end()});
        Bytes bytes;
        for (const char step : steps) {
            bytes = bytes + (step == 'R' ? request : Bytes{step == 'A' ? kAck : kNak});
        }
        return bytes;
    }

    testing::TemporaryPortFolder folder;
    testing::PtyPeer peer{folder, kPeerPort};
    SerialPort port;
    Event quit{Event::Reset::Manual};
    SerialFrameLink link{port, quit, kFastTimings};
    FrameBuffer request;
    Bytes hostSent;
};

TEST(FrameCrc, KnownValues) {
    constexpr std::string_view abc = "abc";
    EXPECT_EQ(frameCrc(std::span(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size())), 0xCA6598D0U);
    EXPECT_EQ(frameCrc({}), 0U);
}

TEST(FrameTimingsDefaults, AreTheBootCodeProtocolsWaits) {
    const FrameTimings timings;
    EXPECT_EQ(timings.failurePause, 600ms);
    EXPECT_EQ(timings.readIntervalMs, 500U);
    EXPECT_EQ(timings.readMultiplierMs, 100U);
}

TEST_F(FrameLinkTest, EmptyRequestsGoOnTheLineAsTenBytes) {
    const std::pair<std::uint8_t, Bytes> expected[] = {
        {0x02, {0x02, 0x01, 0x02, 0x00, 0x00, 0x0B, 0xB3, 0x38, 0xBB, 0x03}},
        {0x01, {0x02, 0x01, 0x01, 0x00, 0x00, 0x52, 0x0D, 0x7E, 0xB9, 0x03}},
    };
    for (const auto& [group, wire] : expected) {
        request.clear();
        request.setHeader(0x01, group, 0);
        hostSent.clear();
        EXPECT_EQ(exchangeWith({{}, {}}), LinkResult::CommError);
        EXPECT_EQ(hostSent, wire + wire);
    }
}

// Over the request as it was sent, not over what a bad reply left behind.
TEST_F(FrameLinkTest, ReplyIsLaidOverTheRequestAndAcknowledged) {
    const FrameBuffer sent = request;
    const Reply longBadReply{.payload = Bytes(8, 0xEE), .crcFlip = 1};
    ASSERT_EQ(exchangeWith({longBadReply.acked(), Reply{{0xAA, 0xBB, 0xCC, 0xDD}}.acked()}), LinkResult::Success);
    EXPECT_EQ(hostSent, hostSequence("RNRA", sent));
    EXPECT_EQ(request.length(), 4);
    EXPECT_EQ(request.payload32(0), 0xDDCCBBAAU);
    EXPECT_EQ(request.payload32(4), 0x17161514U);
    EXPECT_EQ(request.bytes()[0], 0xA5);
}

TEST_F(FrameLinkTest, APeerThatHangsUpMidFrameRaisesInsteadOfHanging) {
    EXPECT_THROW(exchangeWhile([&] {
                     throughNextFrame();
                     const Bytes reply = Reply{{1, 2, 3, 4}}.acked();
                     peer.send({reply.begin(), reply.begin() + 7});
                     peer.hangUp();
                 }),
                 CSerialException);
}

TEST_F(FrameLinkTest, GarbageNeverYieldsSuccess) {
    Bytes garbage{kAck, kStx};
    for (std::uint32_t seed = 12345; garbage.size() < 600;) {
        seed = seed * 1103515245U + 12345U;
        garbage.push_back(static_cast<std::uint8_t>(seed >> 16));
    }
    EXPECT_NE(exchangeWith({garbage}), LinkResult::Success);
}

// One path through exchange: the peer's answer to each request, and what
// the host makes of them.
struct ExchangeCase {
    const char* name;
    std::vector<Bytes> answers;
    LinkResult result;
    const char* hostSends;  // as hostSequence reads it
    enum class Quit { Never, BeforeExchange, OnFirstRequest } quit = Quit::Never;
};

void PrintTo(const ExchangeCase& row, std::ostream* out) { *out << row.name; }

// Bad replies come on both attempts.
std::vector<Bytes> twice(const Reply& reply) { return {reply.acked(), reply.acked()}; }

const ExchangeCase kExchangeCases[] = {
    {"EmptyReplyIsAccepted", {Reply{}.acked()}, LinkResult::Success, "RA"},
    {"NineStrayBytesAreTolerated", {Reply{{1}}.acked(Bytes(9, 0x55))}, LinkResult::Success, "RA"},
    {"TenStrayBytesFailTheAttemptWithoutANak", {Reply{{1}}.acked(Bytes(10, 0x55)), Reply{{1}}.acked()},
     LinkResult::Success, "RRA"},
    {"OverLongLengthIsAnsweredWithNak", twice({.payload = {1, 2}, .lengthField = 0xFFFF}), LinkResult::CommError,
     "RNRN"},
    {"BadChecksumIsAnsweredWithNak", twice({.payload = {1, 2}, .crcFlip = 1}), LinkResult::CommError, "RNRN"},
    {"MissingEtxIsAnsweredWithNak", twice({.payload = {1, 2}, .withEtx = false}), LinkResult::CommError, "RNRN"},
    {"CanThenSilenceIsARejection", {{kCan}, {}}, LinkResult::CrcError, "RR"},
    {"NakTwiceIsACommError", {{kNak}, {kNak}}, LinkResult::CommError, "RR"},
    {"QuitDuringTheReplyWaitCancelsWithoutAnAnswer", {{kAck}}, LinkResult::Cancelled, "R",
     ExchangeCase::Quit::OnFirstRequest},
    {"QuitIsNotSeenBeforeTheTargetAcknowledges", {{}, {}}, LinkResult::CommError, "RR",
     ExchangeCase::Quit::BeforeExchange},
};

class FrameExchangeTest : public FrameLinkTest, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(FrameExchangeTest, GivesTheResultOfItsPath) {
    const ExchangeCase& row = GetParam();
    if (row.quit == ExchangeCase::Quit::BeforeExchange) {
        quit.set();
    }
    FrameBuffer sent = request;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchangeWith(row.answers, row.quit == ExchangeCase::Quit::OnFirstRequest), row.result);
    EXPECT_EQ(hostSent, hostSequence(row.hostSends, sent));
    if (row.result == LinkResult::CommError || row.result == LinkResult::CrcError) {
        EXPECT_GE(std::chrono::steady_clock::now() - start, 2 * kFastTimings.failurePause) << "a pause after each";
    }
    if (row.result != LinkResult::Success) {
        sent.setCrc(sent.bodyCrc());
        EXPECT_TRUE(request == sent) << "a failed exchange keeps the request";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FrameExchangeTest, ::testing::ValuesIn(kExchangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick
