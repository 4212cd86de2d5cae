#include "simulated_camera.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "boot_code.h"
#include "camsim_options.h"
#include "connection.h"
#include "boot_commands.h"
#include "notices.h"
#include "nor_flash.h"
#include "request_reader.h"
#include "serial_port.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kBitRate = 115200;
constexpr std::uint32_t kShortReplyTimeout = 100;
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

FrameBuffer writeRequest(std::uint32_t address, std::vector<std::uint8_t> data) {
    FrameBuffer frame;
    buildWriteData(frame, address, data);
    return frame;
}

std::vector<std::uint8_t> wire(const FrameBuffer& frame) {
    std::vector<std::uint8_t> bytes{kStx};
    const auto body = frame.body();
    bytes.insert(bytes.end(), body.begin(), body.end());
    const std::uint32_t crc = frame.bodyCrc();
    for (int index = 0; index < 4; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * index)));
    }
    bytes.push_back(kEtx);
    return bytes;
}

CommandId idOf(const BootCommand& command) { return {static_cast<std::uint8_t>(command.group), command.code}; }

// ---------------------------------------------------------------- NOR model

TEST(CamsimNorFlash, ProgrammingOnlyClearsBitsAndEraseWorksBySector) {
    NorFlash flash("MBM29DL324BE");
    ASSERT_EQ(flash.size(), 0x400000U);
    EXPECT_TRUE(flash.isBlank(0, flash.size()));

    flash.program(0x2000, std::vector<std::uint8_t>{0xF0, 0x0F});
    flash.program(0x2000, std::vector<std::uint8_t>{0x3C, 0xFF});
    EXPECT_EQ(flash.read(0x2000, 2)[0], 0x30);
    EXPECT_EQ(flash.read(0x2000, 2)[1], 0x0F);

    EXPECT_FALSE(flash.eraseSector(0x2001));
    EXPECT_TRUE(flash.eraseSector(0x0000));
    EXPECT_FALSE(flash.isBlank(0x2000, 2)) << "erasing the first sector must not reach the second";
    EXPECT_TRUE(flash.eraseSector(0x2000));
    EXPECT_TRUE(flash.isBlank(0, 0x10000));
}

TEST(CamsimNorFlash, ChipsWithoutMapEraseOnlyWholeAndUnknownChipsAreRefused) {
    NorFlash flash("AT29LV1024");
    flash.program(0, std::vector<std::uint8_t>{0});
    EXPECT_FALSE(flash.eraseSector(0));
    flash.eraseChip();
    EXPECT_TRUE(flash.isBlank(0, flash.size()));
    EXPECT_FALSE(flash.contains(flash.size() - 1, 2));
    EXPECT_THROW(static_cast<void>(flash.read(flash.size(), 1)), std::out_of_range);
    EXPECT_THROW(NorFlash("Unknown"), std::invalid_argument);
    EXPECT_THROW(NorFlash("NoSuchChip"), std::invalid_argument);
}

// ---------------------------------------------------------------- frames

TEST(CamsimRequestReader, SkipsGarbageAndResynchronisesOnStx) {
    RequestReader reader;
    std::vector<std::uint8_t> line{0x00, 0xFF, kEtx};
    const auto good = wire(request(kReadFlashId));
    // An over-long length field drops the frame; its STX does not hide the next one.
    const std::vector<std::uint8_t> overlong{kStx, 0x01, 0x02, 0x01, 0x10};
    line.insert(line.end(), overlong.begin(), overlong.end());
    // A frame whose ETX slot holds STX: that STX opens the good frame.
    auto broken = wire(request(kReadVersionInfo));
    broken.pop_back();
    line.insert(line.end(), broken.begin(), broken.end());
    line.insert(line.end(), good.begin(), good.end());

    std::vector<ReceivedFrame> frames;
    for (const std::uint8_t byte : line) {
        if (auto frame = reader.feed(byte)) {
            frames.push_back(std::move(*frame));
        }
    }
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].raw, good);
    EXPECT_TRUE(frames[0].crcGood);
    EXPECT_EQ(reader.takeSkipped(), 3 + overlong.size() + broken.size());
}

TEST(CamsimRequestReader, FlagsABadChecksum) {
    RequestReader reader;
    auto bytes = wire(request(kReadFlashId));
    bytes[6] ^= 0x01;
    std::optional<ReceivedFrame> frame;
    for (const std::uint8_t byte : bytes) {
        frame = reader.feed(byte);
    }
    ASSERT_TRUE(frame);
    EXPECT_FALSE(frame->crcGood);
}

// ---------------------------------------------------------------- boot code

TEST(CamsimBootCode, AnswersIdentityVersionAndBlankStatus) {
    BootCode boot("MBM29DL324BE", "BLS v2.11 (sim)");
    EXPECT_EQ(boot.bootVersion(), 211);

    const auto id = boot.answer(request(kReadFlashId));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->payload()[0], 0x5F);
    EXPECT_EQ(id->payload()[1], 0x04);

    const auto version = boot.answer(request(kReadVersionInfo));
    ASSERT_TRUE(version);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(version->payload().data())), "BLS v2.11 (sim)");

    EXPECT_EQ(boot.answer(request(kBlankCheck, {0x10000, 0x10000}))->payload16(0), 0x0001);
    boot.flash().preset(0x1FFFF, std::vector<std::uint8_t>{0x7F});
    EXPECT_EQ(boot.answer(request(kBlankCheck, {0x10000, 0x10000}))->payload16(0), 0x0101);
}

TEST(CamsimBootCode, RejectsUnknownMalformedAndOutOfRangeRequests) {
    BootCode boot("MBM29DL324BE", "BLS v2.11 (sim)");
    EXPECT_FALSE(boot.answer(request(BootCommand{0x09, CommandGroup::Flash, 0})));
    EXPECT_FALSE(boot.answer(request(kBlankCheck, {0})));
    EXPECT_FALSE(boot.answer(request(kReadData, {0x3FFFFF, 2})));
    EXPECT_FALSE(boot.answer(request(kReadData, {0, kMaxDataPerFrame + 1})));
    FrameBuffer shortWrite = writeRequest(0, {1, 2, 3});
    shortWrite.setLength(10);
    EXPECT_FALSE(boot.answer(shortWrite));
    EXPECT_FALSE(boot.answer(request(kEraseSectors, {0x2000})));
}

TEST(CamsimBootCode, WritesReadsAndErasesWithShortfalls) {
    BootCode boot("MBM29DL324BE", "BLS v2.11 (sim)");
    auto written = boot.answer(writeRequest(0x2000, {1, 2, 3, 4}), Shortfalls{0, 1});
    ASSERT_TRUE(written);
    EXPECT_EQ(written->payload32(0), 3U);
    EXPECT_EQ(written->payload32(4), 4U);
    EXPECT_EQ(boot.flash().read(0x2000, 4)[3], 0xFF);

    const auto read = boot.answer(request(kReadData, {0x2000, 3}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->length(), 11);
    EXPECT_EQ(read->payload()[8 + 2], 3);

    boot.flash().preset(0, std::vector<std::uint8_t>{0});
    const auto erased = boot.answer(request(kEraseSectors, {0x2001, 0x0000, 0x2000, kSectorListEnd}), Shortfalls{1, 0});
    ASSERT_TRUE(erased);
    EXPECT_EQ(erased->payload32(0), 1U) << "one address is no sector start, one is left out";
    EXPECT_TRUE(boot.flash().isBlank(0, 0x2000));
    EXPECT_FALSE(boot.flash().isBlank(0x2000, 3));
}

TEST(CamsimBootCode, ChecksumRepliesFollowTheBootVersion) {
    BootCode older("MBM29DL324BE", "BLS v2.10");
    const auto single = older.answer(request(kGetSectorCrc, {0, 0x2000}));
    ASSERT_TRUE(single);
    EXPECT_EQ(single->length(), 4);
    EXPECT_EQ(single->payload32(0), frameCrc(older.flash().read(0, 0x2000)));

    BootCode current("MBM29DL324BE", "BLS v2.11");
    const std::uint32_t computed = frameCrc(current.flash().read(0, 0x2000));
    const auto unset = current.answer(request(kGetSectorCrc, {0, 0x2000}));
    EXPECT_EQ(unset->length(), 8);
    EXPECT_EQ(unset->payload32(0), 0xFFFFFFFFU);
    EXPECT_EQ(unset->payload32(4), computed);

    const auto set = current.answer(request(kSetSectorCrc, {0, 0x2000}));
    EXPECT_EQ(set->payload32(0), computed);
    EXPECT_EQ(set->payload32(4), computed);

    // The stored value only loses bits, until the sector is erased.
    current.flash().preset(0, std::vector<std::uint8_t>{0x12});
    const auto again = current.answer(request(kSetSectorCrc, {0, 0x2000}));
    EXPECT_NE(again->payload32(0), again->payload32(4));
    current.answer(request(kEraseSectors, {0, kSectorListEnd}));
    const auto fresh = current.answer(request(kSetSectorCrc, {0, 0x2000}));
    EXPECT_EQ(fresh->payload32(0), fresh->payload32(4));
}

TEST(CamsimBootCode, HandsOverAfterTheSecondClosingCommandUntilReset) {
    BootCode boot("MBM29DL324BE", "BLS v2.11");
    EXPECT_TRUE(boot.answer(request(kCloseSessionFirst)));
    EXPECT_TRUE(boot.answer(request(kCloseSessionSecond)));
    EXPECT_TRUE(boot.handedOver());
    EXPECT_FALSE(boot.answer(request(kReadFlashId)));
    boot.reset();
    EXPECT_TRUE(boot.answer(request(kReadFlashId)));
}

// ---------------------------------------------------------------- command line

TEST(CamsimArguments, ReadsEveryOptionAndRefusesBadOnes) {
    const std::vector<std::string> all{"--port", "7", "--chip", "AT49BV16x4A", "--version", "BLS v2.01",
                                       "--flash", "/tmp/f.bin", "--ready-delay", "0"};
    const auto parsed = parseCamsimArguments(all);
    ASSERT_TRUE(std::holds_alternative<CameraOptions>(parsed));
    const auto& options = std::get<CameraOptions>(parsed);
    EXPECT_EQ(options.portNumber, 7);
    EXPECT_EQ(options.chip, "AT49BV16x4A");
    EXPECT_EQ(options.versionText, "BLS v2.01");
    EXPECT_EQ(options.flashFile, std::filesystem::path("/tmp/f.bin"));
    EXPECT_EQ(options.readyDelay, 0ms);

    const auto defaults = std::get<CameraOptions>(parseCamsimArguments({}));
    EXPECT_EQ(defaults.portNumber, 0);
    EXPECT_EQ(defaults.chip, "MBM29DL324BE");
    EXPECT_EQ(defaults.versionText, "BLS v2.11 (sim)");

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--port", "x"}, {"--port", "0"},
                                               {"--ready-delay", "-1"}, {"--chip"}, {"--speed", "1"}, {"extra"}}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(parseCamsimArguments(bad))) << bad[0];
    }
    EXPECT_TRUE(std::holds_alternative<CamsimHelp>(parseCamsimArguments(std::vector<std::string>{"--help"})));
}

// ---------------------------------------------------------------- over the line

class CamsimLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick_camsim_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ports_ = folder_ / "ports";
        setenv("TARNWICK_PORTS", ports_.c_str(), 1);
    }
    void TearDown() override {
        link_.reset();
        port_.close();
        camera_.reset();
        unsetenv("TARNWICK_PORTS");
        std::filesystem::remove_all(folder_);
    }

    SimulatedCamera& start(CameraOptions options = {}) {
        options.readyDelay = 20ms;
        camera_ = std::make_unique<SimulatedCamera>(std::move(options));
        return *camera_;
    }

    FrameLink& connect() {
        port_.open(camera_->portNumber(), kBitRate);
        // Take the ready byte first, so that it cannot stand for an acknowledgement.
        port_.setTimeouts(CommTimeouts{0, 0, 2000});
        std::array<std::uint8_t, 1> ready{};
        EXPECT_EQ(port_.read(ready), 1U);
        EXPECT_EQ(ready[0], 0x16);
        link_ = std::make_unique<SerialFrameLink>(port_, quit_, FrameTimings{10ms, 500, 100});
        return *link_;
    }

    LinkResult exchange(FrameBuffer& frame, std::uint32_t timeout = 2000) { return link_->exchange(frame, timeout); }

    std::filesystem::path folder_;
    std::filesystem::path ports_;
    std::unique_ptr<SimulatedCamera> camera_;
    SerialPort port_;
    Event quit_{Event::Reset::Manual};
    std::unique_ptr<SerialFrameLink> link_;
};

TEST_F(CamsimLineTest, PublishesAndRemovesItsAlias) {
    SimulatedCamera& first = start();
    SimulatedCamera second{CameraOptions{}};
    EXPECT_EQ(first.portNumber(), 200);
    EXPECT_EQ(second.portNumber(), 201);
    EXPECT_EQ(first.aliasPath(), ports_ / "COM200");
    EXPECT_EQ(std::filesystem::read_symlink(first.aliasPath()), first.devicePath());
    EXPECT_EQ(portDevice(200), first.aliasPath());

    CameraOptions taken;
    taken.portNumber = 201;
    EXPECT_THROW(SimulatedCamera{taken}, std::system_error);

    camera_.reset();
    EXPECT_FALSE(std::filesystem::exists(ports_ / "COM200"));
    EXPECT_TRUE(std::filesystem::exists(ports_ / "COM201"));
}

TEST_F(CamsimLineTest, SendsTheReadyByteAfterTheOpenAndOnReset) {
    SimulatedCamera& camera = start();
    port_.open(camera.portNumber(), kBitRate);
    port_.setTimeouts(CommTimeouts{0, 0, 2000});
    std::array<std::uint8_t, 1> byte{};
    ASSERT_EQ(port_.read(byte), 1U);
    EXPECT_EQ(byte[0], 0x16);
    camera.resetCamera();
    ASSERT_EQ(port_.read(byte), 1U);
    EXPECT_EQ(byte[0], 0x16);
    EXPECT_EQ(camera.counters().readyBytes, 2U);
    EXPECT_EQ(camera.counters().hostOpens, 1U);
}

TEST_F(CamsimLineTest, AHostConnectsAfterTheResetAndEndsTheSession) {
    CameraOptions options;
    options.chip = "AT49BV16x4A";
    start(options);
    port_.open(camera_->portNumber(), kBitRate);
    link_ = std::make_unique<SerialFrameLink>(port_, quit_, FrameTimings{10ms, 500, 100});
    TargetInfo target;
    RecordingSink sink;
    BootCommands commands(*link_, target, sink);
    Event cancel{Event::Reset::Auto};
    ConnectTimings quick;
    quick.cyclePause = 10ms;
    quick.readyPause = 10ms;
    ASSERT_TRUE(connectToTarget({port_, commands, target, sink, quit_, cancel}, quick));
    EXPECT_EQ(target.flash.platform(), TargetPlatform::Sabrel);

    EXPECT_EQ(commands.closeSessionFirst(), LinkResult::Success);
    EXPECT_EQ(commands.closeSessionSecond(), LinkResult::Success);
    // The firmware runs now: silence until the next reset.
    FrameBuffer id = request(kReadFlashId);
    EXPECT_EQ(exchange(id, kShortReplyTimeout), LinkResult::CommError);
    camera_->resetCamera();
    ASSERT_TRUE(connectToTarget({port_, commands, target, sink, quit_, cancel}, quick));
}

TEST_F(CamsimLineTest, EveryReopenResetsTheCameraButAFailedSecondOpenDoesNot) {
    SimulatedCamera& camera = start();
    std::array<std::uint8_t, 1> byte{};
    for (int round = 0; round < 3; ++round) {
        port_.open(camera.portNumber(), kBitRate);
        port_.setTimeouts(CommTimeouts{0, 0, 2000});
        ASSERT_EQ(port_.read(byte), 1U) << "round " << round;
        EXPECT_EQ(byte[0], 0x16);
        port_.close();
    }
    port_.open(camera.portNumber(), kBitRate);
    port_.setTimeouts(CommTimeouts{0, 0, 2000});
    ASSERT_EQ(port_.read(byte), 1U);
    SerialPort second;
    EXPECT_THROW(second.open(camera.portNumber(), kBitRate), CSerialException);
    port_.setTimeouts(CommTimeouts{0, 0, 200});
    EXPECT_EQ(port_.read(byte), 0U) << "the held line must not see another ready byte";
    EXPECT_EQ(camera.counters().readyBytes, 4U);
}

TEST_F(CamsimLineTest, AnswersTheBootCommandsOfAHost) {
    start();
    FrameLink& link = connect();
    TargetInfo target;
    RecordingSink sink;
    BootCommands commands(link, target, sink);

    ASSERT_EQ(commands.readVersionInfo(), LinkResult::Success);
    EXPECT_EQ(target.versionText, "BLS v2.11 (sim)");
    EXPECT_EQ(target.bootVersion, 211);
    ASSERT_EQ(commands.readFlashId(), LinkResult::Success);
    EXPECT_EQ(target.flash.flashId(), 0x045F);
    ASSERT_EQ(commands.blankCheck(0, 0x10000), LinkResult::Success);
    EXPECT_TRUE(target.blank);

    ASSERT_TRUE(camera_->waitForHostAnswers(3, kLogWait));
    EXPECT_EQ(camera_->hostAnswers(), (std::vector<std::uint8_t>{kAck, kAck, kAck}));
    const auto requests = camera_->requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(requests[1].raw, (std::vector<std::uint8_t>{0x02, 0x01, 0x02, 0x00, 0x00, 0x0B, 0xB3, 0x38, 0xBB, 0x03}));
    EXPECT_EQ(requests[1].command, idOf(kReadFlashId));
}

TEST_F(CamsimLineTest, ProgrammedBytesReachTheFlashAndSurviveAFile) {
    CameraOptions options;
    options.flashFile = folder_ / "flash.bin";
    start(options);
    connect();
    FrameBuffer write = writeRequest(0x10000, {0xDE, 0xAD, 0xBE, 0xEF});
    ASSERT_EQ(exchange(write, 10000), LinkResult::Success);
    EXPECT_EQ(writtenCount(write), 4U);
    EXPECT_EQ(camera_->flash(0x10000, 4), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));

    ASSERT_FALSE(camera_->saveFlash());
    link_.reset();
    port_.close();
    camera_.reset();
    EXPECT_EQ(std::filesystem::file_size(folder_ / "flash.bin"), 0x400000U);
    start(options);
    EXPECT_EQ(camera_->flash(0x10000, 4), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST_F(CamsimLineTest, ChecksumErrorsInTheRequestAreAnsweredWithCan) {
    start();
    port_.open(camera_->portNumber(), kBitRate);
    port_.setTimeouts(CommTimeouts{0, 0, 2000});
    auto bytes = wire(request(kReadFlashId));
    bytes[5] ^= 0xFF;
    port_.write(bytes);
    std::array<std::uint8_t, 1> answer{};
    do {
        ASSERT_EQ(port_.read(answer), 1U);
    } while (answer[0] == 0x16);
    EXPECT_EQ(answer[0], kCan);
    ASSERT_TRUE(camera_->waitForRequests(1, kLogWait));
    EXPECT_FALSE(camera_->requests()[0].crcGood);
}

TEST_F(CamsimLineTest, FaultsStrikeTheChosenFrameOfTheChosenCommand) {
    start();
    connect();
    camera_->scheduleFault(Fault{FaultKind::CanInsteadOfAck, idOf(kReadFlashId), 2, 1});
    FrameBuffer version = request(kReadVersionInfo);
    FrameBuffer id = request(kReadFlashId);
    EXPECT_EQ(exchange(version), LinkResult::Success);
    EXPECT_EQ(exchange(id), LinkResult::Success);
    // The second identity request is rejected once; its retry is the third.
    id = request(kReadFlashId);
    EXPECT_EQ(exchange(id), LinkResult::Success);
    EXPECT_EQ(camera_->counters().rejected, 1U);
    EXPECT_EQ(camera_->counters().requests, 4U);

    camera_->scheduleFault(Fault{FaultKind::CanInsteadOfAck, std::nullopt, 1, 2});
    id = request(kReadFlashId);
    EXPECT_EQ(exchange(id, kShortReplyTimeout), LinkResult::CrcError);
    camera_->scheduleFault(Fault{FaultKind::Silence, std::nullopt, 1, 0});
    EXPECT_EQ(exchange(id, kShortReplyTimeout), LinkResult::CommError);
    camera_->clearFaults();
    EXPECT_EQ(exchange(id), LinkResult::Success);
}

TEST_F(CamsimLineTest, BadRepliesAreNakedAndTheRetryIsServed) {
    start();
    connect();
    const std::vector<Fault> faults{
        {FaultKind::WrongReplyCrc}, {FaultKind::MissingEtx},
        {FaultKind::OverlongLength}, {FaultKind::OverlongLength, std::nullopt, 1, 1, 4097}};
    for (const Fault& fault : faults) {
        camera_->clearLog();
        camera_->scheduleFault(fault);
        FrameBuffer id = request(kReadFlashId);
        EXPECT_EQ(exchange(id, kShortReplyTimeout), LinkResult::Success) << static_cast<int>(fault.kind);
        ASSERT_TRUE(camera_->waitForHostAnswers(2, kLogWait));
        EXPECT_EQ(camera_->hostAnswers(), (std::vector<std::uint8_t>{kNak, kAck}));
        EXPECT_EQ(camera_->counters().requests, 2U);
    }
}

TEST_F(CamsimLineTest, NoiseBeforeTheReplyAndADelayAreSeenByTheHost) {
    start();
    connect();
    camera_->scheduleFault(Fault{FaultKind::NoiseBeforeStx, std::nullopt, 1, 1, 9});
    camera_->scheduleFault(Fault{FaultKind::DelayReply, std::nullopt, 1, 1, 0, 50ms});
    FrameBuffer id = request(kReadFlashId);
    EXPECT_EQ(exchange(id), LinkResult::Success);
    EXPECT_EQ(camera_->counters().requests, 1U);
    ASSERT_TRUE(camera_->waitForHostAnswers(1, kLogWait));

    camera_->scheduleFault(Fault{FaultKind::NoiseBeforeStx, std::nullopt, 1, 1, 10});
    camera_->clearLog();
    EXPECT_EQ(exchange(id), LinkResult::Success);
    ASSERT_TRUE(camera_->waitForHostAnswers(1, kLogWait));
    EXPECT_EQ(camera_->hostAnswers(), std::vector<std::uint8_t>{kAck}) << "no NAK after 10 noise bytes";
    EXPECT_EQ(camera_->counters().requests, 2U);
}

TEST_F(CamsimLineTest, EraseAndWriteShortfallsAreReported) {
    start();
    connect();
    camera_->scheduleFault(Fault{FaultKind::EraseFewer, idOf(kEraseSectors), 1, 1, 1});
    camera_->scheduleFault(Fault{FaultKind::WriteFewer, idOf(kWriteData), 1, 1, 2});
    FrameBuffer erase;
    buildEraseSectors(erase, std::vector<std::uint32_t>{0x0000, 0x2000, 0x4000, 0x6000});
    ASSERT_EQ(exchange(erase), LinkResult::Success);
    EXPECT_EQ(erasedCount(erase), 3U);
    FrameBuffer write = writeRequest(0, {1, 2, 3, 4, 5});
    ASSERT_EQ(exchange(write), LinkResult::Success);
    EXPECT_EQ(writtenCount(write), 3U);
    EXPECT_EQ(expectedWriteCount(write), 5U);
    EXPECT_EQ(camera_->flash(0, 5), (std::vector<std::uint8_t>{1, 2, 3, 0xFF, 0xFF}));
}

TEST_F(CamsimLineTest, GarbageOnTheLineLeavesTheCameraServing) {
    start();
    connect();
    std::vector<std::uint8_t> garbage;
    for (int index = 0; index < 20000; ++index) {
        garbage.push_back(static_cast<std::uint8_t>(index * 7919 >> 3));
    }
    // A frame start with the largest length field, cut short.
    garbage.insert(garbage.end(), {kStx, 0x05, 0x02, 0x00, 0x10});
    port_.write(garbage);
    std::this_thread::sleep_for(1500ms);
    FrameBuffer id = request(kReadFlashId);
    EXPECT_EQ(exchange(id), LinkResult::Success);
    EXPECT_EQ(id.payload()[0], 0x5F);
    EXPECT_GT(camera_->counters().skippedBytes, 0U);
}

TEST_F(CamsimLineTest, AHangUpEndsTheHostsLineAndAFreshLineServes) {
    start();
    connect();
    const auto before = camera_->devicePath();
    camera_->scheduleFault(Fault{FaultKind::HangUp});
    FrameBuffer id = request(kReadFlashId);
    try {
        EXPECT_NE(exchange(id, kShortReplyTimeout), LinkResult::Success);
    } catch (const CSerialException& error) {
        EXPECT_NE(error.error(), 0U);
    }
    EXPECT_EQ(camera_->counters().hangUps, 1U);
    EXPECT_NE(camera_->devicePath(), before);
    EXPECT_EQ(std::filesystem::read_symlink(camera_->aliasPath()), camera_->devicePath());

    link_.reset();
    port_.close();
    connect();
    id = request(kReadFlashId);
    EXPECT_EQ(exchange(id), LinkResult::Success);
}

TEST_F(CamsimLineTest, AHandlerReplacesTheCamera) {
    SimulatedCamera& camera = start();
    connect();
    camera.setHandler(fixedReplyHandler({1, 2, 3, 4}));
    FrameBuffer frame = request(kBlankCheck, {0x11111111, 0x22222222});
    ASSERT_EQ(exchange(frame), LinkResult::Success);
    EXPECT_EQ(frame.length(), 4);
    EXPECT_EQ(frame.payload32(0), 0x04030201U);
    EXPECT_EQ(frame.payload32(4), 0x22222222U) << "the reply is laid over the request";

    camera.setHandler(echoHandler());
    frame = request(BootCommand{0x77, CommandGroup::Flash, 0}, {5, 6, 7});
    ASSERT_EQ(exchange(frame), LinkResult::Success);
    EXPECT_EQ(frame.payload32(8), 7U);
}

}  // namespace
}  // namespace tarnwick
