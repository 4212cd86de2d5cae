#include "frame_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <string_view>
#include <thread>

#include "pty_peer.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::PtyPeer;
using testing::TemporaryPortFolder;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPeerPort = 202;
constexpr FrameTimings kFastTimings{std::chrono::milliseconds(20), 50, 5};
constexpr std::uint32_t kReplyTimeoutMs = 200;

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

// The reply as the boot code puts it on the line; fields can be spoiled.
struct Reply {
    explicit Reply(Bytes payloadBytes = {}) : payload(std::move(payloadBytes)) {}

    Bytes payload;
    std::optional<std::uint16_t> lengthField;
    std::uint32_t crcFlip = 0;
    bool withEtx = true;

    [[nodiscard]] Bytes wire() const {
        const Bytes body = Bytes{0xA5, 0x5A} +
                           littleEndian(lengthField.value_or(static_cast<std::uint16_t>(payload.size())), 2) + payload;
        Bytes bytes = Bytes{kStx} + body + littleEndian(frameCrc(body) ^ crcFlip, 4);
        if (withEtx) {
            bytes.push_back(kEtx);
        }
        return bytes;
    }
};

class FrameLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.open(kPeerPort, 115200);
        request.setHeader(0x06, 0x02, 8);
        for (std::uint8_t index = 0; index < 8; ++index) {
            request.payload()[index] = static_cast<std::uint8_t>(0x10 + index);
        }
    }

    // Runs the exchange while `script` plays the boot code's side.
    LinkResult exchangeWith(const std::function<void()>& script) {
        std::jthread target(script);
        return link.exchange(request, kReplyTimeoutMs);
    }

    Bytes receiveRequest() const {
        Bytes head = peer.receive(5, 1s);
        if (head.size() < 5) {
            return head;
        }
        const std::size_t length = head[3] | head[4] << 8;
        return head + peer.receive(length + 5, 1s);
    }

    Bytes requestWire() const {
        const Bytes body(request.body().begin(), request.body().end());
        return Bytes{kStx} + body + littleEndian(frameCrc(body), 4) + Bytes{kEtx};
    }

    // What the host sends after a reply: ACK or NAK, or nothing.
    Bytes hostVerdict() const { return peer.receive(1, 300ms); }

    TemporaryPortFolder folder;
    PtyPeer peer{folder, kPeerPort};
    SerialPort port;
    Event quit{Event::Reset::Manual};
    SerialFrameLink link{port, quit, kFastTimings};
    FrameBuffer request;
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

TEST_F(FrameLinkTest, EmptyRequestsGoOnTheLineAsTenBytesAndSilenceTwiceIsACommError) {
    const std::pair<std::uint8_t, Bytes> expected[] = {
        {0x02, {0x02, 0x01, 0x02, 0x00, 0x00, 0x0B, 0xB3, 0x38, 0xBB, 0x03}},
        {0x01, {0x02, 0x01, 0x01, 0x00, 0x00, 0x52, 0x0D, 0x7E, 0xB9, 0x03}},
    };
    for (const auto& [group, wire] : expected) {
        request.clear();
        request.setHeader(0x01, group, 0);
        Bytes seen;
        EXPECT_EQ(exchangeWith([&] { seen = peer.receive(20, 1s); }), LinkResult::CommError);
        EXPECT_EQ(seen, wire + wire);
        EXPECT_EQ(request.crc(), frameCrc(Bytes(wire.begin() + 1, wire.begin() + 5)));
    }
}

TEST_F(FrameLinkTest, ReplyIsLaidOverTheRequestAndAcknowledged) {
    const Bytes expected = requestWire();
    Bytes verdict;
    const auto result = exchangeWith([&] {
        EXPECT_EQ(receiveRequest(), expected);
        peer.send(Bytes{kAck} + Reply({0xAA, 0xBB, 0xCC, 0xDD}).wire());
        verdict = hostVerdict();
    });
    ASSERT_EQ(result, LinkResult::Success);
    EXPECT_EQ(verdict, Bytes{kAck});
    EXPECT_EQ(request.length(), 4);
    EXPECT_EQ(request.payload32(0), 0xDDCCBBAAU);
    EXPECT_EQ(request.payload32(4), 0x17161514U);
    EXPECT_EQ(request.bytes()[0], 0xA5);
}

TEST_F(FrameLinkTest, EmptyReplyIsAcceptedAfterItsChecksum) {
    Bytes verdict;
    EXPECT_EQ(exchangeWith([&] {
                  receiveRequest();
                  peer.send(Bytes{kAck} + Reply().wire());
                  verdict = hostVerdict();
              }),
              LinkResult::Success);
    EXPECT_EQ(verdict, Bytes{kAck});
    EXPECT_EQ(request.length(), 0);
}

TEST_F(FrameLinkTest, NineStrayBytesBeforeTheReplyAreTolerated) {
    EXPECT_EQ(exchangeWith([&] {
                  receiveRequest();
                  peer.send(Bytes{kAck} + Bytes(9, 0x55) + Reply({1}).wire());
                  hostVerdict();
              }),
              LinkResult::Success);
}

TEST_F(FrameLinkTest, TenStrayBytesFailTheAttemptAndTheRequestIsSentAgainWithoutANak) {
    const Bytes expected = requestWire();
    Bytes between;
    EXPECT_EQ(exchangeWith([&] {
                  receiveRequest();
                  peer.send(Bytes{kAck} + Bytes(10, 0x55));
                  between = receiveRequest();
                  peer.send(Bytes{kAck} + Reply({1}).wire());
                  hostVerdict();
              }),
              LinkResult::Success);
    EXPECT_EQ(between, expected);
}

TEST_F(FrameLinkTest, BadRepliesAreAnsweredWithNakNeverAck) {
    Reply overLong({1, 2});
    overLong.lengthField = 0xFFFF;
    Reply badChecksum({1, 2});
    badChecksum.crcFlip = 1;
    Reply noEtx({1, 2});
    noEtx.withEtx = false;
    for (const Reply& bad : {overLong, badChecksum, noEtx}) {
        Bytes verdicts;
        Bytes resent;
        EXPECT_EQ(exchangeWith([&] {
                      receiveRequest();
                      peer.send(Bytes{kAck} + bad.wire());
                      verdicts = hostVerdict();
                      resent = receiveRequest();
                      peer.send(Bytes{kAck} + bad.wire());
                      verdicts = verdicts + hostVerdict();
                  }),
                  LinkResult::CommError);
        EXPECT_EQ(verdicts, (Bytes{kNak, kNak}));
        EXPECT_EQ(resent, requestWire());
    }
}

TEST_F(FrameLinkTest, CanCountsAsRejectedEvenWhenTheSecondAttemptIsSilent) {
    EXPECT_EQ(exchangeWith([&] {
                  receiveRequest();
                  peer.send({kCan});
                  receiveRequest();
              }),
              LinkResult::CrcError);
    EXPECT_EQ(request.payload32(0), 0x13121110U);
    EXPECT_EQ(request.crc(), request.bodyCrc());
}

TEST_F(FrameLinkTest, AWrongAcknowledgementTwiceIsACommError) {
    EXPECT_EQ(exchangeWith([&] {
                  for (int attempt = 0; attempt < 2; ++attempt) {
                      receiveRequest();
                      peer.send({kNak});
                  }
              }),
              LinkResult::CommError);
}

TEST_F(FrameLinkTest, QuitDuringTheReplyWaitCancelsWithoutAnAnswer) {
    Bytes after;
    EXPECT_EQ(exchangeWith([&] {
                  receiveRequest();
                  quit.set();
                  peer.send({kAck});
                  after = hostVerdict();
              }),
              LinkResult::Cancelled);
    EXPECT_TRUE(after.empty());
}

TEST_F(FrameLinkTest, QuitIsNotSeenBeforeTheTargetAcknowledges) {
    quit.set();
    EXPECT_EQ(exchangeWith([&] {
                  receiveRequest();
                  receiveRequest();
              }),
              LinkResult::CommError);
}

TEST_F(FrameLinkTest, APeerThatHangsUpMidFrameRaisesInsteadOfHanging) {
    EXPECT_THROW(exchangeWith([&] {
                     receiveRequest();
                     const Bytes reply = Reply({1, 2, 3, 4}).wire();
                     peer.send(Bytes{kAck} + Bytes(reply.begin(), reply.begin() + 6));
                     peer.hangUp();
                 }),
                 CSerialException);
}

TEST_F(FrameLinkTest, GarbageNeverYieldsSuccess) {
    Bytes garbage(600);
    std::uint32_t seed = 12345;
    for (auto& byte : garbage) {
        seed = seed * 1103515245U + 12345U;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    garbage[0] = kAck;
    garbage[1] = kStx;
    EXPECT_NE(exchangeWith([&] {
                  receiveRequest();
                  peer.send(garbage);
              }),
              LinkResult::Success);
}

}  // namespace
}  // namespace tarnwick
