// SPDX-License-Identifier: GPL-2.0-or-later
// The system's own small XML engine, used for package files and for the
// package list file.
//
// A document is one text plus an index of element records (where each start
// and end tag lies in the text). Reading parses the text once into the index
// and walks it with a cursor; writing edits the text in place and shifts the
// index. The text itself is what gets saved: Text() after any additions.
//
// Supported: elements, attributes with quoted values, character data, the
// entities &lt; &amp; &gt; &apos; &quot;, CDATA sections; processing
// instructions, comments and a document type declaration are skipped. No
// namespaces, numeric character references, encodings or validation. Text is
// bytes; multi-byte characters pass through unchanged.
//
// The cursor: the main element, its parent, and the current child of the
// main element. Reading follows one pattern: find a child, read its text or
// attributes, enter it, find its children, leave it again. Child searches only
// go forward until RewindChildren.
//
// Errors: LoadText returns false and LastError() names the fault (one of the
// texts in kXmlParseErrors, "%s" replaced by the element's tag name); the
// document then has no root and every query answers empty or false. Writing
// operations that the cursor does not allow return false and change nothing.
//
// Parsing keeps its own stack of open elements, so any nesting depth parses
// (or fails) without deep recursion. Not thread-safe: one thread per document.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

inline constexpr std::array<std::string_view, 9> kXmlParseErrors = {
    "Element tag not found",
    "Abrupt end within tag",
    "Tag starts with quote",
    "Invalid node",
    "End of tag not found",
    "End tag of %s element not found",
    "Expecting end tag of element %s",
    "End tag does not correspond to %s",
    "End tag not completed for element %s",
};

class XmlDocument {
public:
    // An empty document, as after LoadText of nothing.
    XmlDocument();

    // Replaces the document with the text and parses it; the cursor is reset.
    // True when a root element was parsed. Only the first top-level element
    // is parsed; what follows its end tag is neither indexed nor examined.
    bool LoadText(std::string_view text);
    // The same, taking the text over without copying it.
    bool AdoptText(std::string text);
    const std::string& Text() const noexcept { return text_; }
    bool HasRoot() const noexcept;
    const std::string& LastError() const noexcept { return error_; }

    // Next sibling of the main element with that name (any name when empty),
    // or the first under the parent when there is no main element. On success
    // it becomes the main element and the child position is cleared.
    bool FindElement(std::string_view name = {});
    // Next child of the main element (the root when there is none yet) after
    // the current child, with that name or any name when empty.
    bool FindChild(std::string_view name = {});
    // The child becomes the main element, the main element the parent. With
    // no current child there is then no main element until FindChild or
    // FindElement picks one.
    bool EnterElement();
    // The reverse of EnterElement.
    bool LeaveElement();
    // The next FindChild starts at the first child again.
    void RewindChildren();
    // The cursor as LoadText leaves it: no main element, no parent.
    void ResetCursor() noexcept;

    // Adds an element after the main element under the same parent; at the
    // top level only when the document has no root yet. The new element
    // becomes the main element.
    bool AppendElement(std::string_view name, std::string_view value = {});
    // Adds an element after the current child of the main element, or as its
    // last child when there is no current child. The new element becomes the
    // current child.
    bool AppendChild(std::string_view name, std::string_view value = {});
    // Replace the current child's attribute value, or add the attribute at
    // the end of its start tag.
    bool SetChildAttribute(std::string_view name, std::string_view value);

    std::string ElementName() const;
    std::string ChildName() const;
    // Character data with entities decoded, or a CDATA section's contents;
    // empty for an element with children and for an empty element.
    std::string ChildText() const;
    // ChildText() without a copy: a view of the document's text (valid until
    // the document changes), or of `decoded` when entities had to be decoded.
    std::string_view ChildTextView(std::string& decoded) const;
    // A quoted attribute value with entities decoded (first attribute when the
    // name is empty); unquoted values are never found.
    std::string ChildAttribute(std::string_view name) const;

private:
    struct Record {
        std::size_t tagOpen = 0;   // "<" of the start tag
        std::size_t tagClose = 0;  // ">" of the start tag
        std::size_t endOpen = 0;   // "<" of the end tag; the "/" of "<a/>"
        std::size_t endClose = 0;  // ">" of the end tag; tagClose for "<a/>"
        std::size_t parent = 0;
        std::size_t firstChild = 0;
        std::size_t nextSibling = 0;

        bool isEmptyElement() const noexcept { return endClose == tagClose; }
    };

    void Parse();
    void ResetIndex();

    std::string NameOf(std::size_t position) const;
    std::string_view NameView(std::size_t position) const;
    std::string TextOf(std::size_t position) const;
    std::string_view TextView(std::size_t position, std::string& decoded) const;
    std::string AttributeOf(std::size_t position, std::string_view name) const;
    bool SetAttribute(std::size_t position, std::string_view name, std::string_view value);

    std::size_t LastChildOf(std::size_t parent) const noexcept;
    std::size_t InsertionPointAfter(std::size_t offset) const noexcept;
    std::size_t OpenUpWith(std::size_t parent, std::string_view element);
    std::size_t InsertElement(std::size_t parent, std::size_t predecessor, std::string_view name,
                              std::string_view value);
    void Splice(std::size_t position, std::size_t removed, std::string_view inserted);

    std::string text_;
    std::string error_;
    std::vector<Record> records_;  // record 0 stands for the document
    std::size_t parentPos_ = 0;
    std::size_t mainPos_ = 0;
    std::size_t childPos_ = 0;
    bool mainIsElement_ = false;
};

// Numbers and flags on top of the text operations. Numbers are written in
// decimal; reading takes leading white space and decimal digits, text that is
// not a number reads as 0, and the result tells whether the text was not
// empty. Values too large for the type read as its largest value.
class TypedXmlDocument : public XmlDocument {
public:
    bool AppendChildNumber(std::string_view name, std::uint32_t number);
    bool SetChildNumber(std::string_view name, std::uint32_t number);

    bool ChildNumber(std::uint32_t& number) const;
    // Signed: a leading "-" negates.
    bool ChildNumber64(std::int64_t& number) const;
    bool ChildAttributeFlag(std::string_view name, bool& flag) const;
    bool ChildAttributeNumber(std::string_view name, std::uint32_t& number) const;
};

}  // namespace tarnwick
