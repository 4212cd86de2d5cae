// SPDX-License-Identifier: GPL-2.0-or-later
// Messages from the worker to the user interface, and what the main window
// makes of them.
//
// The worker never touches a window: it posts a PostedMessage to a
// MessageSink, which any front end implements (the Qt window, the
// command-line tool, a test). MsgInfo and MsgProgress carry a Notice, owned by
// the message from the moment it is posted; the receiver releases it by
// dropping the message, so every notice is released exactly once. A message
// may arrive without its notice (allocation failed); receivers then read the
// number 0 and the text "empty".
//
// Sender side (post*): called on the worker thread; never waits for the
// receiver. Receiver side (interpret*, noticeNumber, noticeText, the display
// texts): pure, called on whichever thread handles the message.
//
// Errors: nothing here throws. Failures of the target reach the user as the
// notices themselves (MsgInfo 17 carries a job's failure text).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "flash_catalogue.h"

namespace tarnwick {

inline constexpr std::uint32_t kMessageBase = 0x8000;

enum class Message : std::uint32_t {
    MsgInfo = kMessageBase + 1,
    MsgProgress = kMessageBase + 2,
    MsgJobsDone = kMessageBase + 3,
    MsgCancel = kMessageBase + 4,
    MsgLinkState = kMessageBase + 5,
    // An item data load that ran beside the user interface has ended; posted
    // by the loader, not the worker (item_data_loader.h).
    MsgDataLoaded = kMessageBase + 6,
};

// wParam of MsgLinkState: why the link's state is reported. Every code but
// Reported means the link is down.
enum class LinkStateCode : std::uint32_t {
    Reported = 1,    // lParam 1 connected, 0 not
    LineFailed = 2,  // the port refused or hung up; lParam the system's error number
    NoAnswer = 3,    // the connection procedure waited in vain for the ready byte; lParam 0
};

// Codes of MsgInfo, with what the main window does with them.
enum class InfoCode : std::uint32_t {
    EnableWindow = 1,   // number 0
    DisableWindow = 2,  // number 0
    Version = 4,        // LinkResult of readVersionInfo; shows the version text
    Platform = 5,       // LinkResult of readFlashId; shows the platform line
    BlankCheck = 6,     // status word, kBlankUnknown or kBlankError
    Checksum1 = 7,      // getSectorCrc, first value
    Checksum2 = 8,      // getSectorCrc, second value
    SetChecksum1 = 9,   // setSectorCrc, first value
    SetChecksum2 = 10,  // setSectorCrc, second value
    ProgramEnd = 11,    // 1 once the block transfer began, else 0
    VerifyEnd = 12,     // 1 once the block transfer began, else 0
    InfoBlock = 14,     // info block length, or 0xFFFFFFFF on failure
    NothingToErase = 15,
    TextQuery = 16,  // text
    Failure = 17,    // text: one message box, empty caption, OK only
};

// Codes of MsgProgress.
enum class ProgressCode : std::uint32_t {
    Show = 1,      // number 0
    Hide = 2,      // number 0
    Status = 4,    // text of the status line
    Range = 6,     // low 16 bits lower bound, high 16 bits upper bound
    Position = 7,  // number
    Step = 8,      // number 0
};

inline constexpr std::uint32_t kBlankUnknown = 0xFFFFFFFE;
inline constexpr std::uint32_t kBlankError = 0xFFFFFFFF;

// A number or a text. Immutable once posted.
class Notice {
public:
    explicit Notice(std::uint32_t number) : value_(number) {}
    explicit Notice(std::string text) : value_(std::move(text)) {}

    [[nodiscard]] bool holdsText() const { return std::holds_alternative<std::string>(value_); }
    // 0 when the notice holds a text.
    [[nodiscard]] std::uint32_t number() const;
    // "empty" when the notice holds a number.
    [[nodiscard]] std::string_view text() const;

private:
    std::variant<std::uint32_t, std::string> value_;
};

inline constexpr std::string_view kEmptyNoticeText = "empty";

// One posted message. code is wParam; value is lParam of the messages that
// carry no notice (MsgLinkState: 1 connected, 0 not; otherwise 0).
struct PostedMessage {
    Message message;
    std::uintptr_t code = 0;
    std::uintptr_t value = 0;
    std::unique_ptr<Notice> notice;
    // The worker thread's run that posted it (Worker::link()); 0 for a
    // message from elsewhere.
    std::uint32_t link = 0;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Must queue and return without waiting for the receiver. May be called
    // from any thread.
    virtual void post(PostedMessage message) = 0;
};

void postInfo(MessageSink& sink, InfoCode code, std::uint32_t number);
void postInfo(MessageSink& sink, InfoCode code, std::string text);
void postProgress(MessageSink& sink, ProgressCode code, std::uint32_t number);
void postProgress(MessageSink& sink, ProgressCode code, std::string text);
void postJobsDone(MessageSink& sink);
void postLinkState(MessageSink& sink, bool connected);
// The line is gone: MsgLinkState (LineFailed, error).
void postLineFailed(MessageSink& sink, std::uint32_t error);
// MsgLinkState (NoAnswer, 0).
void postNoAnswer(MessageSink& sink);
// Posted by the progress window when its Cancel button is pressed.
void postCancel(MessageSink& sink);

// The number or text of a notice as a receiver reads it; a missing notice
// reads as 0 and "empty".
std::uint32_t noticeNumber(const Notice* notice);
std::string_view noticeText(const Notice* notice);

// Texts of the main window's fields.
std::string_view blankCheckText(std::uint32_t status);  // "is blank", "isn't blank", "unknown", "error"
std::string checksumText(std::uint32_t value);          // "0x%08X"
std::string_view platformName(TargetPlatform platform);  // "Corvel", "Sabrel", "unknown"
// "Sabrel" in the basic view, "Sabrel (Atmel - AT49BV16x4A)" in the advanced one.
std::string platformLine(const FlashCatalogue& catalogue, bool advancedView);

// What the main window does with one MsgInfo.
enum class InfoAction {
    None,
    EnableWindow,
    DisableWindow,
    ShowVersion,
    ShowPlatform,
    ShowBlankCheck,
    ShowChecksum1,
    ShowChecksum2,
    ShowFailure,
};

struct InfoDisplay {
    InfoAction action = InfoAction::None;
    // The field's new text, or the message box text for ShowFailure.
    std::string text;
};

// Read when a MsgInfo arrives; the worker wrote both before posting.
struct DisplayContext {
    std::string_view versionText;
    const FlashCatalogue& catalogue;
    bool advancedView = false;
};

InfoDisplay interpretInfo(std::uintptr_t code, const Notice* notice, const DisplayContext& context);

// What the progress window does with one MsgProgress.
enum class ProgressAction { None, Show, Hide, SetStatus, SetRange, SetPosition, Step };

struct ProgressDisplay {
    ProgressAction action = ProgressAction::None;
    std::string status;          // SetStatus; Show clears the status line
    std::uint16_t lower = 0;     // SetRange, Show (0)
    std::uint16_t upper = 0;     // SetRange, Show (20)
    std::uint32_t position = 0;  // SetPosition, Show (0)
};

ProgressDisplay interpretProgress(std::uintptr_t code, const Notice* notice);

// One line per message, for logs and tests: `MsgInfo 4 0x0`,
// `MsgProgress 4 "Erase chip..."`, `MsgLinkState 1 1`, `MsgInfo 5 none`
// when the notice is missing. Numbers in notices are shown in hexadecimal.
std::string describeMessage(const PostedMessage& message);

// Keeps every message posted to it; for tests and the command-line tool.
// post() may be called from any thread.
class RecordingSink final : public MessageSink {
public:
    void post(PostedMessage message) override;

    // describeMessage of everything recorded so far, in order.
    [[nodiscard]] std::vector<std::string> descriptions() const;
    // Moves out everything recorded so far.
    std::vector<PostedMessage> take();
    // True once a message of this kind has been recorded (and not taken).
    bool waitFor(Message message, std::chrono::milliseconds timeout);

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<PostedMessage> messages_;
};

}  // namespace tarnwick
