#include "settings_store.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "file_io.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() /
                ("tarnwick-settings-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home_);
        fs::create_directories(home_);
        file_ = home_ / "Vornix" / "Tarnwick" / "Settings.reg";
    }
    void TearDown() override { fs::remove_all(home_); }

    void WriteFile(const std::string& text) {
        fs::create_directories(file_.parent_path());
        std::ofstream(file_, std::ios::binary) << text;
    }

    std::string FileText() const {
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path home_;
    fs::path file_;
};

TEST_F(SettingsStoreTest, FreshAccountGivesDefaultsAndCreatesTheFolder) {
    const SettingsStore store(file_);
    EXPECT_TRUE(fs::is_directory(file_.parent_path()));
    const Settings settings = store.load();
    EXPECT_EQ(settings.comPort, 0u);
    EXPECT_EQ(settings.comBps, 0u);
    EXPECT_FALSE(settings.savePackages);
    EXPECT_EQ(settings.lastPackage, "");
    EXPECT_TRUE(settings.expertMode);
    EXPECT_FALSE(settings.skipVerify);
    EXPECT_FALSE(settings.programSelected);
    EXPECT_EQ(store.readText(kConfigPathValue, ""), "");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(SettingsStoreTest, SaveWritesEveryValueInOrderAndLoadsBack) {
    const SettingsStore store(file_);
    Settings settings;
    settings.comPort = 3;
    settings.comBps = 115200;
    settings.savePackages = true;
    settings.lastPackage = "Release \"2.01\" C:\\pkg";
    settings.expertMode = false;
    settings.skipVerify = true;
    settings.programSelected = true;
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

TEST_F(SettingsStoreTest, ANumberStoredAsTextReadsAsTheDefault) {
    WriteFile("\"ComPort\"=\"3\"\n\"ComBps\"=dword:9600\n");
    const Settings settings = SettingsStore(file_).load();
    EXPECT_EQ(settings.comPort, 0u);
    EXPECT_EQ(settings.comBps, 0x9600u);
}

TEST_F(SettingsStoreTest, NumberOfTheWrongSizeReadsAsTheDefault) {
    WriteFile("\"ComPort\"=hex(4):03,00,00,00\n\"ComBps\"=hex(4):03,00\n");
    const Settings settings = SettingsStore(file_).load();
    EXPECT_EQ(settings.comPort, 3u);
    EXPECT_EQ(settings.comBps, 0u);
}

TEST_F(SettingsStoreTest, TextMustFitTheBufferWithItsZero) {
    const SettingsStore store(file_);
    ASSERT_FALSE(store.writeText(kLastPackageValue, std::string(1023, 'x')));
    EXPECT_EQ(store.load().lastPackage, std::string(1023, 'x'));
    ASSERT_FALSE(store.writeText(kLastPackageValue, std::string(1024, 'x')));
    EXPECT_EQ(store.load().lastPackage, "");
    EXPECT_EQ(store.readText(kLastPackageValue, "fallback"), "fallback");
}

TEST_F(SettingsStoreTest, UnterminatedTextReadsAsTheDefault) {
    WriteFile("\"LastPackage\"=hex(1):41,42\n\"ConfigPath\"=hex(2):2f,74,00\n\"Other\"=hex(1):41,00,42,00\n");
    const SettingsStore store(file_);
    EXPECT_EQ(store.load().lastPackage, "");
    EXPECT_EQ(store.readText(kConfigPathValue, ""), "/t");
    EXPECT_EQ(store.readText("Other", ""), "A");
}

TEST_F(SettingsStoreTest, AnyNonZeroFlagIsTrueAndIsWrittenBackAsOne) {
    WriteFile("\"ExpertMode\"=dword:00000002\n\"SkipVerify\"=dword:ffffffff\n");
    const SettingsStore store(file_);
    const Settings settings = store.load();
    EXPECT_TRUE(settings.expertMode);
    EXPECT_TRUE(settings.skipVerify);
    ASSERT_FALSE(store.save(settings));
    EXPECT_NE(FileText().find("\"ExpertMode\"=dword:00000001\n"), std::string::npos);
    EXPECT_NE(FileText().find("\"SkipVerify\"=dword:00000001\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, ConfigPathFromASecondStoreSurvivesTheFirstStoresSave) {
    const SettingsStore mainWindow(file_);
    Settings settings = mainWindow.load();
    {
        const SettingsStore dialog(file_);
        ASSERT_FALSE(dialog.writeText(kConfigPathValue, "/home/tech/lists"));
    }
    settings.comPort = 4;
    ASSERT_FALSE(mainWindow.save(settings));
    EXPECT_EQ(mainWindow.readText(kConfigPathValue, ""), "/home/tech/lists");
    EXPECT_EQ(mainWindow.load().comPort, 4u);
}

TEST_F(SettingsStoreTest, ValuesTheSystemDoesNotUseAreKept) {
    WriteFile("; edited by hand\n[Settings]\n\"Colour\"=hex:01,ff\n\"Path\"=hex(2):25,48,00\n\"Weird\"=hex(7):\n");
    const SettingsStore store(file_);
    ASSERT_FALSE(store.save(Settings{}));
    const std::string text = FileText();
    EXPECT_NE(text.find("\"Colour\"=hex:01,ff\n"), std::string::npos);
    EXPECT_NE(text.find("\"Path\"=hex(2):25,48,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Weird\"=hex(7):\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, ValueNamesIgnoreCase) {
    WriteFile("\"comport\"=dword:00000002\n");
    const SettingsStore store(file_);
    EXPECT_EQ(store.load().comPort, 2u);
    ASSERT_FALSE(store.save(Settings{}));
    EXPECT_EQ(FileText().find("\"ComPort\""), std::string::npos);
    EXPECT_EQ(store.load().comPort, 0u);
}

TEST_F(SettingsStoreTest, TextsThatNeedRawBytesRoundTrip) {
    const SettingsStore store(file_);
    const std::string text = "tab\there\nnew line \xe4";
    ASSERT_FALSE(store.writeText("Note", text));
    EXPECT_EQ(store.readText("Note", ""), text);
}

TEST_F(SettingsStoreTest, ADamagedFileGivesDefaultsAndIsKeptUntilTheNextSave) {
    const std::string damaged = "\"ComPort\"=dword:00000003\n\"ComBps\"=dword:zz\n";
    WriteFile(damaged);
    const SettingsStore store(file_);
    EXPECT_EQ(store.load(), Settings{});
    EXPECT_EQ(FileText(), damaged);
    Settings settings;
    settings.comPort = 5;
    ASSERT_FALSE(store.save(settings));
    EXPECT_EQ(store.load().comPort, 5u);
}

TEST_F(SettingsStoreTest, DamageOfEveryKindIsRecognised) {
    for (const char* text : {"\"A\"=dword:123456789\n", "\"A\"=\"open\n", "\"A\"=\"x\" tail\n", "A=dword:1\n",
                             "\"A\"=hex(1):4,\n", "\"A\"=hex(1):414\n", "\"A\"=hex(x):41\n", "\"A\" dword:1\n",
                             "\"A\"=\"bad \\escape\"\n", "\"A\"=-\n"}) {
        WriteFile(std::string("\"ComPort\"=dword:00000003\n") + text);
        EXPECT_EQ(SettingsStore(file_).load().comPort, 0u) << text;
    }
}

TEST_F(SettingsStoreTest, AnInterruptedSaveLeavesThePreviousFileReadable) {
    const SettingsStore store(file_);
    Settings before;
    before.comPort = 1;
    ASSERT_FALSE(store.save(before));
    Settings after;
    after.comPort = 2;
    {
        ScopedReplaceFault fault(ReplaceStep::Write, ENOSPC);
        const std::error_code error = store.save(after);
        EXPECT_EQ(error.value(), ENOSPC);
        EXPECT_EQ(error.message(), std::generic_category().message(ENOSPC));
    }
    EXPECT_EQ(store.load(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(file_.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsStoreTest, AFolderThatCannotBeMadeGivesDefaultsAndLosesWrites) {
    std::ofstream(home_ / "plain") << "x";
    const SettingsStore store(home_ / "plain" / "Tarnwick" / "Settings.reg");
    EXPECT_EQ(store.load(), Settings{});
    const std::error_code error = store.writeText(kConfigPathValue, "/x");
    EXPECT_EQ(error.value(), ENOTDIR);
    EXPECT_EQ(error.message(), std::generic_category().message(ENOTDIR));
    EXPECT_EQ(store.readText(kConfigPathValue, ""), "");
}

TEST_F(SettingsStoreTest, AnEmptyPathReadsDefaultsAndWritesNothing) {
    const SettingsStore store({});
    EXPECT_EQ(store.load(), Settings{});
    EXPECT_TRUE(store.save(Settings{}));
    EXPECT_EQ(store.readText(kConfigPathValue, "d"), "d");
}

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SettingsFileLocation, FollowsXdgConfigHomeThenHome) {
    const ScopedEnvironment home("HOME", "/home/tech");
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(SettingsStore::DefaultFile(), fs::path("/cfg/Vornix/Tarnwick/Settings.reg"));
    }
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", "relative");
        EXPECT_EQ(SettingsStore::DefaultFile(), fs::path("/home/tech/.config/Vornix/Tarnwick/Settings.reg"));
    }
    const ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(SettingsStore::DefaultFile(), fs::path("/home/tech/.config/Vornix/Tarnwick/Settings.reg"));
    const ScopedEnvironment noHome("HOME", nullptr);
    EXPECT_EQ(SettingsStore::DefaultFile(), fs::path());
}

}  // namespace
}  // namespace tarnwick
