// SPDX-License-Identifier: GPL-2.0-or-later
// Loading the item data of a package beside the user interface: reading,
// base64-decoding and decompressing a large package takes long enough to
// freeze a window, so it runs on a thread of its own.
//
// The load works on a copy of the package's items, so the package itself is
// only read when the load starts and written when its result is applied, both
// on the front end's thread. When it ends, the loader posts MsgDataLoaded
// (code: the load's number) to the sink; the front end then takes the result
// with finish() and moves the images into its items. Messages the load
// shows on the way are held and handed over with the result.
//
// Threads: every member is called on the front end's thread. Errors: a load
// that fails is a result (ItemLoadFailure), never an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "notices.h"
#include "package_file.h"
#include "package_model.h"
#include "user_messages.h"

namespace tarnwick {

// A message the load showed, to be shown again on the front end's thread.
struct HeldMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;

    friend bool operator==(const HeldMessage&, const HeldMessage&) = default;
};

struct LoadedItems {
    // By the item's position in the package; empty for an item not loaded.
    std::vector<std::shared_ptr<const std::vector<std::uint8_t>>> images;
    std::optional<ItemLoadFailure> failure;
    std::vector<HeldMessage> messages;

    // Moves the images into the package's items, which must be those the load
    // started from.
    void applyTo(Package& package);
};

class ItemDataLoader {
public:
    // sink outlives the loader.
    explicit ItemDataLoader(MessageSink& sink) : sink_(sink) {}
    // Waits for a load still running.
    ~ItemDataLoader();
    ItemDataLoader(const ItemDataLoader&) = delete;
    ItemDataLoader& operator=(const ItemDataLoader&) = delete;

    // Starts loading the data of every item of the package, or of the item
    // at position `only`. A load still running is waited for first.
    void start(const Package& package, std::optional<std::size_t> only = std::nullopt);
    // The running load is forgotten: its MsgDataLoaded finds nothing.
    void abandon() { wanted_.reset(); }
    // A load was started and neither finished nor abandoned.
    [[nodiscard]] bool loading() const { return wanted_.has_value(); }
    // In answer to MsgDataLoaded with that code: the result of the load
    // that is wanted, once; nothing for a forgotten or an earlier load.
    std::optional<LoadedItems> finish(std::uintptr_t code);

private:
    void run(Package package, std::optional<std::size_t> only, std::uint32_t number);

    MessageSink& sink_;
    std::uint32_t started_ = 0;
    std::optional<std::uint32_t> wanted_;
    // Written by the thread, read after it has been joined.
    LoadedItems result_;
    std::thread thread_;
};

}  // namespace tarnwick
