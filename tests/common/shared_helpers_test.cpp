#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "ascii_case.h"
#include "config_folder.h"
#include "scoped_environment.h"
#include "system_error.h"
#include "unique_fd.h"

namespace tarnwick {
namespace {

using testing::ScopedEnvironment;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnceAndMoveLeavesTheSourceEmpty) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd reader(fds[0]);
    UniqueFd moved(std::move(reader));
    EXPECT_FALSE(reader.valid());
    moved = UniqueFd(fds[1]);  // closes the first
    EXPECT_FALSE(IsOpen(fds[0]));
    EXPECT_FALSE(moved.close());
    EXPECT_FALSE(IsOpen(fds[1]));
    EXPECT_FALSE(moved.close());
}

TEST(SystemError, CarriesTheErrnoAndTheSystemsText) {
    errno = ENOENT;
    EXPECT_EQ(LastSystemError(), SystemError(ENOENT));
    EXPECT_EQ(SystemError(EACCES).message(), "Permission denied");
}

TEST(ConfigFolder, TakesAnAbsoluteXdgConfigHomeElseHomeElseNone) {
    const struct {
        const char* configHome;
        const char* home;
        const char* folder;
    } cases[] = {
        {"/cfg", "/home/tech", "/cfg/Vornix/Tarnwick"},
        {"relative", "/home/tech", "/home/tech/.config/Vornix/Tarnwick"},
        {"", "/home/tech", "/home/tech/.config/Vornix/Tarnwick"},
        {nullptr, "/home/tech", "/home/tech/.config/Vornix/Tarnwick"},
        {"relative", nullptr, ""},
        {nullptr, "", ""},
    };
    for (const auto& row : cases) {
        const ScopedEnvironment configHome("XDG_CONFIG_HOME", row.configHome);
        const ScopedEnvironment home("HOME", row.home);
        EXPECT_EQ(ConfigFolder(), std::filesystem::path(row.folder))
            << (row.configHome ? row.configHome : "unset") << ", " << (row.home ? row.home : "unset");
    }
}

TEST(AsciiCase, OnlyAsciiLettersHaveACase) {
    EXPECT_TRUE(EqualIgnoringCase("Release 2.01", "rELEASE 2.01"));
    EXPECT_FALSE(EqualIgnoringCase("Release", "Releases"));
    EXPECT_FALSE(EqualIgnoringCase("\xC4", "\xE4"));  // Latin-1 letters stay as they are
    EXPECT_FALSE(EqualIgnoringCase("[", "{"));
    EXPECT_TRUE(LessIgnoringCase("alpha", "Beta"));
    EXPECT_FALSE(LessIgnoringCase("Beta", "alpha"));
    EXPECT_TRUE(LessIgnoringCase("Beta", "betas"));
    EXPECT_TRUE(StartsWithIgnoringCase("Release 2.01", "RELEASE"));
    EXPECT_FALSE(StartsWithIgnoringCase("Rel", "Release"));
    EXPECT_EQ(LowerAscii("ZoomCam Z-1 \xC4"), "zoomcam z-1 \xC4");
}

}  // namespace
}  // namespace tarnwick
