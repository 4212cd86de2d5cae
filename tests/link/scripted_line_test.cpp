// The frame transport over a line that is not a port: the bytes it sends
// and the timeouts it leaves, with no pseudo-terminal in between.
#include <gtest/gtest.h>

#include "frame_link.h"
#include "scripted_line.h"

namespace tarnwick {
namespace {

using Bytes = testing::ScriptedLine::Bytes;

// An acknowledged reply with that payload.
Bytes replyOnTheLine(const Bytes& payload) {
    Bytes body{0xA5, 0x5A, static_cast<std::uint8_t>(payload.size()), 0};
    for (const std::uint8_t byte : payload) {
        body.push_back(byte);
    }
    const std::uint32_t crc = frameCrc(body);
    Bytes bytes{kAck, kStx};
    for (const std::uint8_t byte : body) {
        bytes.push_back(byte);
    }
    for (int index = 0; index < 4; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * index)));
    }
    bytes.push_back(kEtx);
    return bytes;
}

TEST(ScriptedLineLink, TheTransportTalksThroughAnyLineAndLeavesItsReadTimeouts) {
    testing::ScriptedLine line({replyOnTheLine({0x5F, 0x04})});
    line.setTimeouts({1, 2, 3, 7, 9});
    Event quit{Event::Reset::Manual};
    SerialFrameLink link(line, quit, FrameTimings{std::chrono::milliseconds(0), 500, 100});
    FrameBuffer frame;
    frame.setHeader(0x01, 0x02, 0);

    ASSERT_EQ(link.exchange(frame, 2000), LinkResult::Success);
    EXPECT_EQ(frame.payload16(0), 0x045F);
    EXPECT_EQ(line.sent(), (Bytes{0x02, 0x01, 0x02, 0x00, 0x00, 0x0B, 0xB3, 0x38, 0xBB, 0x03, kAck}));
    EXPECT_EQ(line.getTimeouts(), (CommTimeouts{500, 100, 2000, 7, 9}));
}

}  // namespace
}  // namespace tarnwick
