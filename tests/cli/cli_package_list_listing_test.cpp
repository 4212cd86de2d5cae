#include <gtest/gtest.h>

#include "cli_fixture.h"
#include "guid.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

class CliInspectListTest : public CliTest {
protected:
    // A user-built package with a firmware file and an empty item, then a
    // package read from a package file.
    std::string WriteList() {
        const std::string firmware = Write("corvel2c-rev-1.02.bin", "no marker");
        PackageContents contents;
        contents.name = "Release 2.01";
        contents.files.push_back(
            {*ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"), "corvel_uc.bin", 1, 0x0201, 0, {1, 2, 3}});
        const std::string package = Write("release.xml", BuildPackageText(contents));
        return Write("Tarnwick.packages.xml",
                     "<config>\r\n<package updpackage=\"0\">\r\n<name>Lab set</name>\r\n<files>2</files>\r\n"
                     "<file>\r\n<id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id>\r\n<name>x</name>\r\n<path>" +
                         firmware +
                         "</path>\r\n</file>\r\n"
                         "<file>\r\n<id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id>\r\n<name>y</name>\r\n<path/>\r\n"
                         "</file>\r\n</package>\r\n"
                         "<package updpackage=\"1\">\r\n<name>Old name</name>\r\n<files>0</files>\r\n<path>" +
                         package + "</path>\r\n</package>\r\n</config>\r\n");
    }
};

TEST_F(CliInspectListTest, ShowsThePackagesAsTheProgramLoadsThem) {
    const std::string list = WriteList();
    ASSERT_EQ(Run({"inspect", "--list", list}), kExitSuccess) << err_.str();
    const std::string out = out_.str();
    const std::string expectedStart = "Package list: " + list +
                                      "\n"
                                      "Packages: 2\n"
                                      "\n"
                                      "[1] built from firmware files\n"
                                      "Package: Lab set\n"
                                      "Items: 2\n"
                                      "1. Corvel::Bootloader\n"
                                      "   GUID:        {728F4F3D-0BED-499A-8385-5ECBE8116317}\n"
                                      "   File:        " +
                                      (folder_ / "corvel2c-rev-1.02.bin").string() +
                                      "\n"
                                      "   Camera type: 4 (Corvel2c)\n"
                                      "   Version:     1.02\n";
    EXPECT_EQ(out.substr(0, expectedStart.size()), expectedStart) << out;
    for (const char* expected : {"2. Corvel::uC\n", "   Camera type: 0 (None)\n   Version:     0.00\n",
                                 "[2] package file ", "Package: Release 2.01\nItems: 1\n",
                                 "   File:        corvel_uc.bin\n   Camera type: 1 (Corvel1b)\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_TRUE(err_.str().empty());
    EXPECT_EQ(Run({"inspect", list, "--list"}), kExitSuccess) << err_.str();
}

TEST_F(CliInspectListTest, AnUnreadableListOrOneThatIsNoPackageListFails) {
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

TEST_F(CliInspectListTest, NamesFromTheListReachATerminalEscaped) {
    const std::string list = Write("list.xml",
                                   "<config><package updpackage=\"0\"><name>Lab\x1b[31m</name><files>1</files>"
                                   "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path>uc\x07.bin</path>"
                                   "</file></package></config>");
    terminal_ = true;
    ASSERT_EQ(Run({"inspect", "--list", list}), kExitSuccess) << err_.str();
    EXPECT_NE(out_.str().find("Package: Lab\\x1B[31m\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("File:        uc\\x07.bin\n"), std::string::npos) << out_.str();
}

}  // namespace
}  // namespace tarnwick
