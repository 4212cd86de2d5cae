// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "file_io.h"
#include "scoped_environment.h"
#include "system_error.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    void WriteFile(const std::string& text) const { home_.write("Vornix/Tarnwick/Settings.reg", text); }
    std::string FileText() const { return testing::readText(file_); }

    testing::TemporaryFolder home_;
    fs::path file_ = home_ / "Vornix/Tarnwick/Settings.reg";
};

TEST_F(SettingsStoreTest, FreshAccountGivesDefaultsAndCreatesTheFolderOnly) {
    const SettingsStore store(file_);
    EXPECT_TRUE(fs::is_directory(file_.parent_path()));
    EXPECT_EQ(store.load(), (Settings{0, 0, false, "", true, false, false}));
    EXPECT_EQ(store.readText(kConfigPathValue, ""), "");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(SettingsStoreTest, SaveWritesEveryValueInOrderAndLoadsBack) {
    const SettingsStore store(file_);
    const Settings settings{3, 115200, true, "Release \"2.01\" C:\\pkg", false, true, true};
    ASSERT_FALSE(store.save(settings));
    EXPECT_EQ(FileText(),
              "; Tarnwick settings\n"
              "[Settings]\n"
              "\"ComPort\"=dword:00000003\n"
              "\"ComBps\"=dword:0001c200\n"
              "\"SavePackages\"=dword:00000001\n"
              "\"LastPackage\"=\"Release \\\"2.01\\\" C:\\\\pkg\"\n"
              "\"ExpertMode\"=dword:00000000\n"
              "\"SkipVerify\"=dword:00000001\n"
              "\"ProgramSelected\"=dword:00000001\n");
    EXPECT_EQ(SettingsStore(file_).load(), settings);
}

TEST_F(SettingsStoreTest, AValueOfAnotherTypeOrSizeOrWithoutItsZeroReadsAsTheDefaultAndAnyNonZeroFlagIsTrue) {
    WriteFile(
        "\"ComPort\"=\"3\"\n"
        "\"SavePackages\"=dword:00000002\n"
        "\"ComBps\"=dword:9600\n"
        "\"SkipVerify\"=hex(4):01,00,00,00\n"
        "\"ProgramSelected\"=hex(4):03,00\n"
        "\"LastPackage\"=hex(1):41,42\n"
        "\"ConfigPath\"=hex(2):2f,74,00\n"
        "\"Other\"=hex(1):41,00,42,00\n");
    const SettingsStore store(file_);
    EXPECT_EQ(store.load(), (Settings{0, 0x9600, true, "", true, true, false}));
    EXPECT_EQ(store.readText(kConfigPathValue, ""), "/t");
    EXPECT_EQ(store.readText("Other", ""), "A");
}

TEST_F(SettingsStoreTest, TextMustFitTheBufferWithItsZero) {
    const SettingsStore store(file_);
    ASSERT_FALSE(store.writeText(kLastPackageValue, std::string(1023, 'x')));
    EXPECT_EQ(store.load().lastPackage, std::string(1023, 'x'));
    ASSERT_FALSE(store.writeText(kLastPackageValue, std::string(1024, 'x')));
    EXPECT_EQ(store.load().lastPackage, "");
    EXPECT_EQ(store.readText(kLastPackageValue, "fallback"), "fallback");
    const std::string raw = "tab\there\nnew line \xe4";
    ASSERT_FALSE(store.writeText("Note", raw));
    EXPECT_EQ(store.readText("Note", ""), raw);
}

// The package list folder may be set by another store while a window holds
// its own; the window's save must not undo that.
TEST_F(SettingsStoreTest, PackageListFolderIsConfigPathFromAnyStoreOrTheSettingsFolder) {
    const SettingsStore mainWindow(file_);
    EXPECT_EQ(mainWindow.configPath(), file_.parent_path().string());
    Settings settings = mainWindow.load();
    ASSERT_FALSE(SettingsStore(file_).writeText(kConfigPathValue, "/home/tech/lists"));
    settings.comPort = 4;
    ASSERT_FALSE(mainWindow.save(settings));
    EXPECT_EQ(mainWindow.configPath(), "/home/tech/lists");
    EXPECT_EQ(mainWindow.load().comPort, 4u);
    EXPECT_EQ(SettingsStore("").configPath(), "");
}

TEST_F(SettingsStoreTest, ValuesTheSystemDoesNotUseAreKeptAndNamesIgnoreCase) {
    WriteFile("; edited by hand\n[Settings]\n\"Colour\"=hex:01,ff\n\"Path\"=hex(2):25,48,00\n\"Weird\"=hex(7):\n"
              "\"comport\"=dword:00000002\n");
    const SettingsStore store(file_);
    EXPECT_EQ(store.load().comPort, 2u);
    ASSERT_FALSE(store.save(Settings{}));
    EXPECT_NE(FileText().find("\"Colour\"=hex:01,ff\n\"Path\"=hex(2):25,48,00\n\"Weird\"=hex(7):\n"), std::string::npos)
        << FileText();
    EXPECT_EQ(FileText().find("\"ComPort\""), std::string::npos);
    EXPECT_EQ(store.load().comPort, 0u);
}

TEST_F(SettingsStoreTest, AFileSavedByAnEditorWithAByteOrderMarkAndCrLfReads) {
    WriteFile("\xEF\xBB\xBF; edited\r\n[Settings]\r\n\"ComPort\"=dword:00000003\r\n");
    EXPECT_EQ(SettingsStore(file_).load().comPort, 3u);
}

TEST_F(SettingsStoreTest, ADamagedFileGivesDefaultsAndIsKeptUntilASaveSucceeds) {
    for (const char* damage : {"\"A\"=dword:123456789\n", "\"A\"=dword:zz\n", "\"A\"=\"open\n", "\"A\"=\"x\" tail\n",
                               "A=dword:1\n", "\"A\"=hex(1):4,\n", "\"A\"=hex(1):414\n", "\"A\"=hex(x):41\n",
                               "\"A\" dword:1\n", "\"A\"=\"bad \\escape\"\n", "\"A\"=-\n"}) {
        const std::string damaged = std::string("\"ComPort\"=dword:00000003\n") + damage;
        WriteFile(damaged);
        EXPECT_EQ(SettingsStore(file_).load(), Settings{}) << damage;
        EXPECT_EQ(FileText(), damaged);
    }
    const SettingsStore store(file_);
    Settings fixed;
    fixed.comPort = 5;
    ASSERT_FALSE(store.save(fixed));
    {
        ScopedReplaceFault fault(ReplaceStep::Write, ENOSPC);
        EXPECT_EQ(store.save(Settings{}), SystemError(ENOSPC));
    }
    EXPECT_EQ(store.load(), fixed);
}

TEST_F(SettingsStoreTest, AFolderThatCannotBeMadeOrNoPathGivesDefaultsAndLosesWrites) {
    const SettingsStore store(home_.write("plain", "x") / "Tarnwick" / "Settings.reg");
    EXPECT_EQ(store.load(), Settings{});
    EXPECT_EQ(store.writeText(kConfigPathValue, "/x"), SystemError(ENOTDIR));
    EXPECT_EQ(store.readText(kConfigPathValue, ""), "");
    const SettingsStore none({});
    EXPECT_EQ(none.load(), Settings{});
    EXPECT_TRUE(none.save(Settings{}));
    EXPECT_EQ(none.readText(kConfigPathValue, "d"), "d");
}

// Where the folder lies is the config folder's concern, tested with it.
TEST(SettingsFileLocation, IsInTheConfigFolderUnlessThereIsNone) {
    const testing::ScopedEnvironment noHome("HOME", nullptr);
    {
        const testing::ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(SettingsStore::DefaultFile(), fs::path("/cfg/Vornix/Tarnwick/Settings.reg"));
    }
    const testing::ScopedEnvironment noConfig("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(SettingsStore::DefaultFile(), fs::path());
}

}  // namespace
}  // namespace tarnwick
