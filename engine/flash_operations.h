// SPDX-License-Identifier: GPL-2.0-or-later
// The region operations that take many frames: erasing the sectors of a
// region, programming an image with its length word, reading a region back
// against the image, and reading a region's image into memory.
//
// They run on the worker thread only, talk to the boot code through the
// worker's FrameLink, post their status line, progress and failure texts to
// the sink, and return a result code that decides whether the job run goes
// on. Before each request of their loops they poll, without waiting, the
// worker's quit and then its cancel event; a stop seen there ends the
// operation silently and consumes the cancel. Of TargetInfo they change only
// the blank flag. CSerialException from the port passes through unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "event.h"
#include "frame_link.h"
#include "notices.h"
#include "package_model.h"
#include "target_info.h"

namespace tarnwick {

// The result of one job: 0 success, 1 a failure the operation found (a
// cancelled exchange counts as one too), otherwise the LinkResult of the
// failed exchange.
enum class JobResult : std::uint32_t { Success = 0, Failure = 1, CommError = 2, CrcError = 3 };

JobResult jobResultOf(LinkResult result);
// A job run ends after a failure or a communication error; a rejected
// exchange (CrcError) lets it go on.
bool endsJobRun(JobResult result);

// The worker's parts an operation uses; all outlive the call.
struct FlashParts {
    FrameLink& link;
    TargetInfo& target;
    MessageSink& sink;
    const Event& quit;
    Event& cancel;
};

// Erases the sectors of the detected chip whose start lies in the region, in
// batches of at most kMaxSectorsPerFrame. A stop ends it with Success.
JobResult eraseRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length);

// Writes the item's image (at most the region's length) into a blank region in
// blocks of at most kMaxDataPerFrame, skipping blocks of erased bytes, then the
// length word. Success only when every block went through; an odd image is
// padded with one erased byte (0xFF).
JobResult programRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length,
                        const PackageItem* item);

// Reads the region back (at most the image's length) and compares it with the
// image. Success only when every block matched.
JobResult verifyRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length,
                       const PackageItem* item);

// What a read job is asked to read and what it found. The front end fills
// the request and keeps the record until the run has ended; the worker
// writes the rest during the run, and the front end reads it in answer to
// the run's MsgJobsDone.
struct RegionCopy {
    // The image's name in the status line ("Corvel-uC.bin").
    std::string fileName;
    // The whole region less its length word, instead of the image that the
    // length word records.
    bool wholeRegion = false;

    enum class State {
        NotRead,     // the job failed, or has not run
        Read,        // bytes holds the image (or the whole region)
        NoImage,     // the length word records none: 0 or all ones
        PastRegion,  // the length word is longer than the region's room
    };
    State state = State::NotRead;
    // As read from the region; 0 for a whole region.
    std::uint32_t lengthWord = 0;
    std::vector<std::uint8_t> bytes;
};

// Reads the region's length word, then that many bytes from the region's
// start in blocks of at most kMaxDataPerFrame; with wholeRegion, the region
// up to its length word. A length word that records no image, or one that
// points past the region, is kept in the copy and ends the job with Success
// and nothing read. Success only when every block came; the copy then holds
// the bytes, otherwise none.
JobResult readRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length, RegionCopy* copy);

}  // namespace tarnwick
