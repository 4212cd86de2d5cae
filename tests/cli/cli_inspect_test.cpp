// The commands that read files only: inspect, inspect --list and identify.
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>

#include "cli_fixture.h"
#include "guid.h"
#include "package_writer.h"
#include "unique_fd.h"

namespace tarnwick {
namespace {

class CliInspectTest : public CliTest {
protected:
    std::string WritePackage(const std::string& text) const { return Write("package.xml", text); }
    std::string WritePackage() const { return WritePackage(BuildPackageText(contents_)); }
    // An empty folder to extract into.
    std::filesystem::path Target() const {
        std::filesystem::create_directory(folder_ / "out");
        return folder_ / "out";
    }

    // A user-built package with a firmware file and an item without one, then
    // the fixture's package read from its file.
    std::string WriteList() {
        const std::string firmware = Write("corvel2c-rev-1.02.bin", "no marker");
        return Write("Tarnwick.packages.xml",
                     "<config>\r\n<package updpackage=\"0\">\r\n<name>Lab set</name>\r\n<files>2</files>\r\n"
                     "<file>\r\n<id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id>\r\n<name>x</name>\r\n<path>" +
                         firmware +
                         "</path>\r\n</file>\r\n"
                         "<file>\r\n<id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id>\r\n<name>y</name>\r\n<path/>\r\n"
                         "</file>\r\n</package>\r\n"
                         "<package updpackage=\"1\">\r\n<name>Old name</name>\r\n<files>0</files>\r\n<path>" +
                         WritePackage() + "</path>\r\n</package>\r\n</config>\r\n");
    }

    PackageContents contents_{
        "Corvel 2.01",
        1160000000,
        {{*ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"), "corvel_uc.bin", 1, 513, 1159990000,
          std::vector<std::uint8_t>(9000, 0x31)},
         {*ParseGuid("{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}"), "../../escape.rbf", 77, 0x010A, 0,
          std::vector<std::uint8_t>(700, 0x75)}}};
};

TEST_F(CliInspectTest, ListsWhatWentIntoThePackage) {
    ASSERT_EQ(Run({"inspect", WritePackage()}), kExitSuccess) << err_.str();
    const std::string out = out_.str();
    for (const char* expected :
         {"Package: Corvel 2.01", "Items: 2", "1. Corvel::uC", "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}",
          "corvel_uc.bin", "Camera type: 1 (Corvel1b)", "Version:     2.01", "Size:        9000",
          "Time:        04.10.2006 - 19:26:40", "2. Corvel::FPGA", "Camera type: 77\n", "Version:     1.10",
          "01.01.1970 - 00:00:00"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_TRUE(err_.str().empty());

    EXPECT_EQ(Run({"inspect", (folder_ / "missing.xml").string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Can't read package file"), std::string::npos) << err_.str();
}

TEST_F(CliInspectTest, JsonHoldsTheSameAsOneObject) {
    ASSERT_EQ(Run({"inspect", WritePackage(), "--json"}), kExitSuccess) << err_.str();
    const auto json = nlohmann::json::parse(out_.str());
    EXPECT_EQ(json["name"], "Corvel 2.01");
    ASSERT_EQ(json["items"].size(), 2u);
    EXPECT_EQ(json["items"][0], nlohmann::json::parse(R"({"typeName": "Corvel::uC",
        "guid": "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}", "fileName": "corvel_uc.bin", "cameraType": 1,
        "cameraModel": "Corvel1b", "version": "2.01", "size": 9000, "time": "04.10.2006 - 19:26:40"})"));
    EXPECT_TRUE(json["items"][1]["cameraModel"].is_null());
}

TEST_F(CliInspectTest, ExtractWritesTheOriginalBytesInsideTheFolderAndGoesOnPastAFailure) {
    const std::filesystem::path target = Target();
    ASSERT_EQ(Run({"inspect", WritePackage(), "--extract", target.string()}), kExitSuccess) << err_.str();
    EXPECT_EQ(testing::readBytes(target / "corvel_uc.bin"), contents_.files[0].image);
    EXPECT_EQ(testing::readBytes(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(folder_.path().parent_path() / "escape.rbf"));
    EXPECT_NE(out_.str().find("Corvel::uC: 9000 bytes -> "), std::string::npos) << out_.str();

    std::filesystem::remove_all(target);
    std::string text = BuildPackageText(contents_);
    text.replace(text.find("<data>") + 6, 4, "!!!!");
    EXPECT_EQ(Run({"inspect", WritePackage(text), "--extract", Target().string()}), kExitFailure);
    EXPECT_NE(err_.str().find("Corvel::uC: base64 decode failed"), std::string::npos) << err_.str();
    EXPECT_EQ(testing::readBytes(target / "escape.rbf"), contents_.files[1].image);
    EXPECT_FALSE(std::filesystem::exists(target / "corvel_uc.bin"));
}

TEST_F(CliInspectTest, ExtractNeverWritesOverItsOwnPackage) {
    contents_.files[0].fileName = "package.xml";
    const std::string package = WritePackage();
    const std::string before = testing::readText(package);
    const std::filesystem::path link = folder_ / "link";
    std::filesystem::create_directory_symlink(folder_.path(), link);
    for (const std::filesystem::path& target : {folder_.path(), link}) {
        EXPECT_EQ(Run({"inspect", package, "--extract", target.string()}), kExitFailure) << target;
        EXPECT_EQ(err_.str(),
                  "Corvel::uC: not written: " + (target / "package.xml").string() + " is the package file itself\n");
        EXPECT_EQ(testing::readText(package), before);
        EXPECT_EQ(testing::readBytes(folder_ / "escape.rbf"), contents_.files[1].image);
    }
}

TEST_F(CliInspectTest, TextsFromThePackageReachATerminalEscaped) {
    contents_.name = "Corvel \x1b[2J";
    contents_.files[0].fileName = "uc\x1b]0;owned\x07.bin";
    const std::string package = WritePackage();
    const std::filesystem::path target = Target();
    terminal_ = true;
    ASSERT_EQ(Run({"inspect", package, "--extract", target.string()}), kExitSuccess) << err_.str();
    for (const std::string expected : {"Package: Corvel \\x1B[2J\n", "File:        uc\\x1B]0;owned\\x07.bin\n",
                                       "uc\\x1B]0;owned\\x07.bin\n"}) {
        EXPECT_NE(out_.str().find(expected), std::string::npos) << expected << "\n" << out_.str();
    }
    EXPECT_EQ(out_.str().find('\x1b'), std::string::npos) << out_.str();
    EXPECT_TRUE(std::filesystem::exists(target / "uc\x1b]0;owned\x07.bin"));

    terminal_ = false;
    ASSERT_EQ(Run({"inspect", package}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Package: Corvel \x1b[2J\n"), std::string::npos) << out_.str();
}

TEST_F(CliInspectTest, AListShowsItsPackagesAsTheProgramLoadsThem) {
    const std::string list = WriteList();
    ASSERT_EQ(Run({"inspect", "--list", list}), kExitSuccess) << err_.str();
    const std::string expectedStart = "Package list: " + list + "\nPackages: 2\n\n[1] built from firmware files\n" +
                                      "Package: Lab set\nItems: 2\n1. Corvel::Bootloader\n" +
                                      "   GUID:        {728F4F3D-0BED-499A-8385-5ECBE8116317}\n" +
                                      "   File:        " + (folder_ / "corvel2c-rev-1.02.bin").string() +
                                      "\n   Camera type: 4 (Corvel2c)\n   Version:     1.02\n";
    EXPECT_EQ(out_.str().substr(0, expectedStart.size()), expectedStart) << out_.str();
    for (const char* expected : {"2. Corvel::uC\n", "   Camera type: 0 (None)\n   Version:     0.00\n",
                                 "[2] package file ", "Package: Corvel 2.01\nItems: 2\n",
                                 "   File:        corvel_uc.bin\n   Camera type: 1 (Corvel1b)\n"}) {
        EXPECT_NE(out_.str().find(expected), std::string::npos) << expected << "\n" << out_.str();
    }
    EXPECT_TRUE(err_.str().empty());
    EXPECT_EQ(Run({"inspect", list, "--list"}), kExitSuccess) << err_.str();
}

TEST_F(CliInspectTest, AnUnreadableListOrOneThatIsNoPackageListFails) {
    EXPECT_EQ(Run({"inspect", "--list", (folder_ / "missing.xml").string()}), kExitFailure);
    EXPECT_EQ(err_.str(), "Can't read configuration file\n");
    EXPECT_TRUE(out_.str().empty());
    for (const std::string_view text : {std::string_view("not xml"), std::string_view(),
                                        std::string_view("\x93\x00\x17<\xfe", 5)}) {
        const std::string list = Write("list.xml", text);
        EXPECT_EQ(Run({"inspect", "--list", list}), kExitFailure) << text;
        EXPECT_EQ(err_.str(), list + ": not a package list\n");
        EXPECT_TRUE(out_.str().empty());
    }
    ASSERT_EQ(Run({"inspect", "--list", Write("list.xml", "<config/>")}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Packages: 0\n"), std::string::npos) << out_.str();
}

TEST_F(CliInspectTest, NamesFromAListReachATerminalEscaped) {
    const std::string list = Write("list.xml",
                                   "<config><package updpackage=\"0\"><name>Lab\x1b[31m</name><files>1</files>"
                                   "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path>uc\x07.bin</path>"
                                   "</file></package></config>");
    terminal_ = true;
    ASSERT_EQ(Run({"inspect", "--list", list}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Package: Lab\\x1B[31m\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("File:        uc\\x07.bin\n"), std::string::npos) << out_.str();
}

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

// A large image without a marker is read to its end, yet only once.
TEST_F(CliIdentifyTest, ReadsTheFileOnceAndTakesAMarkerOverTheFileName) {
    const struct {
        const char* name;
        std::string bytes;
        const char* shown;
    } rows[] = {
        {"sabrel3c-1.10.rbf", std::string(50000, 'x'),
         "Camera type: 14 (Sabrel3c)\nVersion:     1.10\nTaken from:  file name\n"},
        {"Corvel1b-2.01.bin", std::string(2000, '\xff') + "(@)# FW 7",
         "Camera type: 0 (None)\nVersion:     0.07\nTaken from:  version marker (FW)\n"},
    };
    for (const auto& row : rows) {
        const std::string path = Write(row.name, row.bytes);
        const OpenCounter counter(path);
        ASSERT_EQ(Run({"identify", path}), kExitSuccess) << err_.str();
        EXPECT_EQ(out_.str(), "File:        " + path + "\n" + row.shown);
        EXPECT_TRUE(err_.str().empty());
        EXPECT_EQ(counter.opens(), 1) << path;
    }
    terminal_ = true;
    ASSERT_EQ(Run({"identify", Write("Corvel1b-2.01.bin", "(@)# F\x1bW 7")}), kExitSuccess) << err_.str();
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
