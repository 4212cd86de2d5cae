// inspect --list: the packages of a package list file as the program would
// load them at start-up, each shown as inspect shows a package file.
#include <algorithm>
#include <optional>
#include <string_view>

#include "commands.h"
#include "console_messages.h"
#include "package_store.h"

namespace tarnwick {
namespace {

constexpr std::string_view kListOption = "--list";
constexpr std::string_view kUsage = "usage: tarnwick-cli inspect --list LIST.xml";

// Shows every message and remembers whether the list itself was unreadable,
// which the store reports only as a message.
class ListLoadMessages final : public UserMessages {
public:
    explicit ListLoadMessages(UserMessages& shown) : shown_(shown) {}

    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        listUnreadable_ = listUnreadable_ || text == kReadListFailedText;
        shown_.showMessage(text, caption, icon);
    }

    bool listUnreadable() const noexcept { return listUnreadable_; }

private:
    UserMessages& shown_;
    bool listUnreadable_ = false;
};

// "--list FILE", in either order.
std::optional<std::string> ListFileArgument(std::span<const std::string> args) {
    std::optional<std::string> file;
    for (const std::string& arg : args) {
        if (arg == kListOption) {
            continue;
        }
        if (file || arg.empty() || arg.starts_with("--")) {
            return std::nullopt;
        }
        file = arg;
    }
    return args.size() == 2 ? file : std::nullopt;
}

std::string SourceText(const Package& package) {
    return package.isUserBuilt() ? "built from firmware files" : "package file " + package.path();
}

void PrintStore(const std::string& file, const PackageStore& store, std::ostream& out) {
    out << "Package list: " << file << '\n';
    out << "Packages: " << store.size() << '\n';
    for (std::size_t i = 0; i < store.size(); ++i) {
        out << '\n' << '[' << i + 1 << "] " << SourceText(store[i]) << '\n';
        PrintPackageText(store[i], out);
    }
}

int RunInspectList(std::span<const std::string> args, CliStreams streams) {
    const auto file = ListFileArgument(args);
    if (!file) {
        streams.err << kUsage << '\n';
        return kExitUsage;
    }
    ConsoleMessages console(streams.err);
    ListLoadMessages messages(console);
    PackageStore store;
    LoadPackageListFile(store, *file, messages);
    if (messages.listUnreadable()) {
        return kExitFailure;
    }
    PrintStore(*file, store, streams.out);
    return kExitSuccess;
}

}  // namespace

int RunInspectOrList(std::span<const std::string> args, CliStreams streams) {
    if (std::find(args.begin(), args.end(), kListOption) != args.end()) {
        return RunInspectList(args, streams);
    }
    return RunInspect(args, streams);
}

}  // namespace tarnwick
