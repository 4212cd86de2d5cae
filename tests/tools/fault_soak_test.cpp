// Many exchanges with the simulated camera, each attempt of each struck by
// a fault drawn at random, and the transport's verdict on every one of them.
//
// The seed is printed with every failure; TARNWICK_SOAK_SEED replays one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "boot_commands.h"
#include "connection.h"
#include "frame_link.h"
#include "serial_port.h"
#include "simulated_camera.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kExchanges = 200;
constexpr std::uint32_t kBitRate = 115200;
// Short waits so that silence costs little; a good reply comes far sooner.
constexpr std::uint32_t kReplyTimeoutMs = 80;
constexpr FrameTimings kSoakTimings{1ms, 50, 1};
constexpr auto kLogWait = 2000ms;

// What one attempt meets on the line.
enum class Outcome {
    Good,       // a good reply, acknowledged
    Damaged,    // a reply that is answered with NAK
    Unanswered, // no reply worth an answer: the attempt fails without NAK
    Rejected,   // CAN instead of ACK
};

struct AttemptFault {
    const char* name;
    std::optional<FaultKind> kind;
    std::uint32_t amount;
    Outcome outcome;
};

const AttemptFault kAttemptFaults[] = {
    {"none", std::nullopt, 0, Outcome::Good},
    {"9 noise bytes", FaultKind::NoiseBeforeStx, 9, Outcome::Good},
    {"1 noise byte", FaultKind::NoiseBeforeStx, 1, Outcome::Good},
    {"a short delay", FaultKind::DelayReply, 0, Outcome::Good},
    {"10 noise bytes", FaultKind::NoiseBeforeStx, 10, Outcome::Unanswered},
    {"40 noise bytes", FaultKind::NoiseBeforeStx, 40, Outcome::Unanswered},
    {"wrong reply checksum", FaultKind::WrongReplyCrc, 0, Outcome::Damaged},
    {"missing ETX", FaultKind::MissingEtx, 0, Outcome::Damaged},
    {"length 0xFFFF", FaultKind::OverlongLength, 0, Outcome::Damaged},
    {"length 4097", FaultKind::OverlongLength, 4097, Outcome::Damaged},
    {"CAN instead of ACK", FaultKind::CanInsteadOfAck, 0, Outcome::Rejected},
    {"silence", FaultKind::Silence, 0, Outcome::Unanswered},
};

// The result and the host's answers that the transport owes a pair of
// attempts (the second is made only when the first fails).
struct Expected {
    LinkResult result;
    std::size_t requests;
    Bytes hostAnswers;
};

Expected expectedFor(const AttemptFault& first, const AttemptFault& second) {
    Expected expected{LinkResult::CommError, 0, {}};
    bool rejected = false;
    for (const AttemptFault* attempt : {&first, &second}) {
        ++expected.requests;
        switch (attempt->outcome) {
            case Outcome::Good:
                expected.hostAnswers.push_back(kAck);
                expected.result = LinkResult::Success;
                return expected;
            case Outcome::Damaged: expected.hostAnswers.push_back(kNak); break;
            case Outcome::Rejected: rejected = true; break;
            case Outcome::Unanswered: break;
        }
    }
    expected.result = rejected ? LinkResult::CrcError : LinkResult::CommError;
    return expected;
}

std::uint32_t soakSeed() {
    if (const char* seed = std::getenv("TARNWICK_SOAK_SEED")) {
        return static_cast<std::uint32_t>(std::strtoul(seed, nullptr, 10));
    }
    return std::random_device{}();
}

class FaultSoakTest : public ::testing::Test {
protected:
    FaultSoakTest() {
        CameraOptions options;
        options.readyDelay = 1ms;
        camera_.emplace(std::move(options));
        port_.open(camera_->portNumber(), kBitRate);
        // The ready byte must not stand in for the first acknowledgement.
        port_.setTimeouts(CommTimeouts{0, 0, 2000});
        std::uint8_t ready = 0;
        EXPECT_EQ(port_.read(std::span(&ready, 1)), 1U);
        EXPECT_EQ(ready, kReadyByte);
    }

    void schedule(const AttemptFault& fault, std::uint32_t frame) {
        if (fault.kind) {
            camera_->scheduleFault(Fault{*fault.kind, std::nullopt, frame, 1, fault.amount, 10ms});
        }
    }

    testing::TemporaryPortFolder ports_;
    std::optional<SimulatedCamera> camera_;
    SerialPort port_;
    Event quit_{Event::Reset::Manual};
};

TEST_F(FaultSoakTest, EveryFaultGetsTheResultItIsOwedAndNoBadReplyIsTakenForGood) {
    const std::uint32_t seed = soakSeed();
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kAttemptFaults) - 1);
    SerialFrameLink link(port_, quit_, kSoakTimings);

    for (int exchange = 0; exchange < kExchanges; ++exchange) {
        const AttemptFault& first = kAttemptFaults[pick(random)];
        const AttemptFault& second = kAttemptFaults[pick(random)];
        SCOPED_TRACE("seed " + std::to_string(seed) + ", exchange " + std::to_string(exchange) + ": " +
                     first.name + ", then " + second.name);
        camera_->clearFaults();
        camera_->clearLog();
        schedule(first, 1);
        schedule(second, 2);
        const Expected expected = expectedFor(first, second);

        FrameBuffer frame;
        frame.setHeader(kReadFlashId.code, static_cast<std::uint8_t>(kReadFlashId.group), 0);
        ASSERT_EQ(link.exchange(frame, kReplyTimeoutMs), expected.result);
        if (expected.result == LinkResult::Success) {
            EXPECT_EQ(frame.payload16(0), 0x045F) << "the camera's flash id, not a damaged reply";
        }
        EXPECT_EQ(camera_->counters().requests, expected.requests);
        if (!expected.hostAnswers.empty()) {
            ASSERT_TRUE(camera_->waitForHostAnswers(expected.hostAnswers.size(), kLogWait));
        }
        ASSERT_EQ(camera_->hostAnswers(), expected.hostAnswers);
    }
}

}  // namespace
}  // namespace tarnwick
