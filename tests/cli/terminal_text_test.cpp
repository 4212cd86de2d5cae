#include "terminal_text.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(TerminalText, ControlsAndBrokenUtf8AreEscapedOnlyForATerminal) {
    const struct {
        std::string_view text;
        std::string_view shown;
    } rows[] = {
        {"Corvel 2.01 <uC> & FPGA", "Corvel 2.01 <uC> & FPGA"},
        {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"a\tb\r\nc\x7f", "a\\x09b\\x0D\\x0Ac\\x7F"},
        {std::string_view("nul\0end", 7), "nul\\x00end"},
        {"C:\\fw\\x41.bin", "C:\\\\fw\\\\x41.bin"},
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x93\xb7", "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x93\xb7"},
        {"csi\xc2\x9b" "2J", "csi\\xC2\\x9B2J"},
        {"latin1 M\xfcller \x9b", "latin1 M\\xFCller \\x9B"},
        {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
        {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
        {"cut \xe2\x82", "cut \\xE2\\x82"},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(printable(row.text, true), row.shown) << row.text;
        EXPECT_EQ(printable(row.text, false), row.text) << row.text;
    }
}

}  // namespace
}  // namespace tarnwick
