#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>

#include "cli_fixture.h"
#include "unique_fd.h"

namespace tarnwick {
namespace {

// Counts how often one file is opened while the counter lives. Opens and
// closes alternate in the queue, so the kernel never merges two opens.
class OpenCounter {
public:
    explicit OpenCounter(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(::inotify_add_watch(fd_.get(), path.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    }

    int opens() const {
        int count = 0;
        alignas(inotify_event) std::array<char, 4096> buffer{};
        ssize_t got = 0;
        while ((got = ::read(fd_.get(), buffer.data(), buffer.size())) > 0) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                count += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }

private:
    UniqueFd fd_;
};

using CliIdentifyTest = CliTest;

TEST_F(CliIdentifyTest, TakesTypeAndVersionFromTheFileName) {
    const std::string path = Write("sabrel3c-1.10.rbf", "no marker");
    ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "File:        " + path +
                              "\n"
                              "Camera type: 14 (Sabrel3c)\n"
                              "Version:     1.10\n"
                              "Taken from:  file name\n");
    EXPECT_TRUE(err_.str().empty());
}

TEST_F(CliIdentifyTest, AMarkerWinsAndClearsTheCameraType) {
    const std::string path = Write("Corvel1b-2.01.bin", std::string(2000, '\xff') + "(@)# FW 7");
    ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Camera type: 0 (None)\nVersion:     0.07\nTaken from:  version marker (FW)\n"),
              std::string::npos)
        << out_.str();
}

TEST_F(CliIdentifyTest, ReadsTheFileOnceAndEscapesItsWordsOnATerminal) {
    const std::string plain = Write("sabrel3c-1.10.rbf", std::string(50000, 'x'));
    const std::string marked = Write("Corvel1b-2.01.bin", "(@)# F\x1bW 7");
    for (const std::string& path : {plain, marked}) {
        const OpenCounter counter(path);
        ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
        EXPECT_EQ(counter.opens(), 1) << path;
    }
    terminal_ = true;
    ASSERT_EQ(Run({"identify", marked}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Taken from:  version marker (F\\x1BW)\n"), std::string::npos) << out_.str();
}

TEST_F(CliIdentifyTest, AFileThatCannotBeReadFails) {
    EXPECT_EQ(Run({"identify", (folder_ / "Corvel1b-2.01.bin").string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Can't read firmware file"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
    EXPECT_EQ(Run({"identify", folder_.path().string()}), kExitFailure);
}

}  // namespace
}  // namespace tarnwick
