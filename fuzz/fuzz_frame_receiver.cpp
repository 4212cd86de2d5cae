// SPDX-License-Identifier: GPL-2.0-or-later
// Feeds any bytes from the line to the frame transport as the target's
// answers to one exchange, and checks what the transport promises.
//
// Input: a flag byte (bit 0: the worker is told to quit before the
// exchange), the request's payload length, the first answer's length (u16
// little-endian), then the first answer and, after it, the second.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "event.h"
#include "frame_link.h"
#include "scripted_line.h"

namespace {

using tarnwick::FrameBuffer;
using tarnwick::LinkResult;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPreambleSize = 4;
constexpr tarnwick::FrameTimings kNoWaits{std::chrono::milliseconds(0), 0, 0};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

FrameBuffer makeRequest(std::uint8_t payloadLength) {
    FrameBuffer request;
    request.setHeader(0x06, 0x02, payloadLength);
    for (std::size_t index = 0; index < request.payload().size(); ++index) {
        request.payload()[index] = static_cast<std::uint8_t>(index * 31 + 7);
    }
    return request;
}

bool startsWithCan(const Bytes& answer) { return !answer.empty() && answer.front() == tarnwick::kCan; }

void checkSuccess(const FrameBuffer& reply, const FrameBuffer& request, const Bytes& sent) {
    require(reply.length() <= tarnwick::kFramePayloadCapacity);
    require(reply.crc() == reply.bodyCrc());
    // Beyond its own length the reply leaves the request in place.
    const auto rest = reply.payload().subspan(reply.length());
    const auto requestRest = request.payload().subspan(reply.length());
    require(std::equal(rest.begin(), rest.end(), requestRest.begin()));
    require(sent.back() == tarnwick::kAck);
}

void checkFailure(LinkResult result, const FrameBuffer& frame, FrameBuffer request,
                  const tarnwick::testing::ScriptedLine& line, const std::vector<Bytes>& answers) {
    request.setCrc(request.bodyCrc());
    require(frame == request);
    require(line.sent().back() == tarnwick::kEtx || line.sent().back() == tarnwick::kNak);
    if (result == LinkResult::Cancelled) {
        return;
    }
    require(line.requests() == answers.size());
    const bool rejected = startsWithCan(answers[0]) || startsWithCan(answers[1]);
    require(result == (rejected ? LinkResult::CrcError : LinkResult::CommError));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPreambleSize) {
        return 0;
    }
    const std::span<const std::uint8_t> input(data, size);
    const bool quit = (input[0] & 1U) != 0;
    const FrameBuffer request = makeRequest(input[1]);
    const std::size_t firstLength = std::min<std::size_t>(input[2] | input[3] << 8, size - kPreambleSize);
    const auto answerBytes = input.subspan(kPreambleSize);
    const std::vector<Bytes> answers{Bytes(answerBytes.begin(), answerBytes.begin() + firstLength),
                                     Bytes(answerBytes.begin() + firstLength, answerBytes.end())};

    tarnwick::testing::ScriptedLine line(answers);
    tarnwick::Event quitEvent(tarnwick::Event::Reset::Manual, quit);
    tarnwick::SerialFrameLink link(line, quitEvent, kNoWaits);
    FrameBuffer frame = request;
    const LinkResult result = link.exchange(frame, 0);

    require(static_cast<std::uint32_t>(result) <= static_cast<std::uint32_t>(LinkResult::CrcError));
    require(result != LinkResult::Cancelled || quit);
    if (result == LinkResult::Success) {
        checkSuccess(frame, request, line.sent());
    } else {
        checkFailure(result, frame, request, line, answers);
    }
    return 0;
}
