// SPDX-License-Identifier: GPL-2.0-or-later
// Parses any bytes as a document and walks every element it indexed.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "xml_document.h"

namespace {

// Depth-first walk without recursion depth limits of our own: the cursor
// operations keep the state, the loop only counts levels.
void WalkAll(tarnwick::TypedXmlDocument& document) {
    std::size_t depth = 0;
    while (true) {
        if (document.FindChild("")) {
            (void)document.ChildName();
            (void)document.ChildText();
            (void)document.ChildAttribute("");
            std::uint32_t number = 0;
            (void)document.ChildNumber(number);
            if (document.EnterElement()) {
                ++depth;
                continue;
            }
        }
        if (depth == 0 || !document.LeaveElement()) {
            return;
        }
        --depth;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnwick::TypedXmlDocument document;
    document.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
    WalkAll(document);
    (void)document.LastError();
    return 0;
}
