// SPDX-License-Identifier: GPL-2.0-or-later
#include "item_data_loader.h"

#include <exception>
#include <utility>

namespace tarnwick {
namespace {

class HeldMessages final : public UserMessages {
public:
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        held.push_back({std::string(text), std::string(caption), icon});
    }

    std::vector<HeldMessage> held;
};

std::optional<ItemLoadFailure> LoadOneItem(Package& package, std::size_t at, UserMessages& messages) {
    try {
        const LoadResult result = LoadItemData(package, &package.items()[at], messages);
        if (result != LoadResult::Loaded) {
            return ItemLoadFailure{at, result, {}};
        }
    } catch (const PackageDataError& error) {
        return ItemLoadFailure{at, LoadResult::Loaded, error.what()};
    }
    return std::nullopt;
}

}  // namespace

void LoadedItems::applyTo(Package& package) {
    for (std::size_t at = 0; at < images.size() && at < package.itemCount(); ++at) {
        if (images[at] && !images[at]->empty()) {
            package.items()[at].setSharedData(std::move(images[at]));
        }
    }
    images.clear();
}

ItemDataLoader::~ItemDataLoader() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ItemDataLoader::start(const Package& package, std::optional<std::size_t> only) {
    if (thread_.joinable()) {
        thread_.join();
    }
    wanted_ = ++started_;
    thread_ = std::thread(&ItemDataLoader::run, this, package, only, *wanted_);
}

std::optional<LoadedItems> ItemDataLoader::finish(std::uintptr_t code) {
    if (!wanted_ || code != *wanted_) {
        return std::nullopt;
    }
    wanted_.reset();
    thread_.join();
    return std::exchange(result_, {});
}

void ItemDataLoader::run(Package package, std::optional<std::size_t> only, std::uint32_t number) {
    HeldMessages messages;
    LoadedItems result;
    try {
        result.failure = only ? LoadOneItem(package, *only, messages) : LoadEveryItemData(package, messages);
    } catch (const std::exception& error) {
        // Out of memory beyond what the load reports itself.
        result.failure = ItemLoadFailure{only.value_or(0), LoadResult::Loaded, error.what()};
    }
    if (!result.failure) {
        for (PackageItem& item : package.items()) {
            result.images.push_back(item.takeData());
        }
    }
    result.messages = std::move(messages.held);
    result_ = std::move(result);
    sink_.post({Message::MsgDataLoaded, number, 0, nullptr});
}

}  // namespace tarnwick
