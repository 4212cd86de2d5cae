// SPDX-License-Identifier: GPL-2.0-or-later
#include "xml_document.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

namespace tarnwick {
namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r";
constexpr std::string_view kDelimiters = " \t\n\r<>=\\/?!";
constexpr std::string_view kNameEnd = " =/[";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";
constexpr std::size_t kRecordsPerTextByte = 64;
constexpr std::size_t kSpareRecords = 8;

enum class ParseError : std::size_t {
    ElementTagNotFound,
    AbruptEndWithinTag,
    TagStartsWithQuote,
    InvalidNode,
    EndOfTagNotFound,
    EndTagNotFound,
    ExpectingEndTag,
    EndTagDoesNotCorrespond,
    EndTagNotCompleted,
};

struct Entity {
    std::string_view name;  // without the "&"
    char character;
};

// Decoding tries them in this order.
constexpr std::array<Entity, 5> kEntities = {{
    {"lt;", '<'},
    {"amp;", '&'},
    {"gt;", '>'},
    {"apos;", '\''},
    {"quot;", '"'},
}};

bool IsIn(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }

struct Token {
    std::size_t begin = 0;  // first character of the token's text
    std::size_t end = 0;    // one past its text (the closing quote of a string)
    std::size_t next = 0;   // where the next token is read from
    bool quoted = false;

    std::string_view in(std::string_view text) const { return text.substr(begin, end - begin); }
    bool is(std::string_view text, std::string_view what) const { return !quoted && in(text) == what; }
};

std::optional<Token> ReadToken(std::string_view text, std::size_t position) {
    position = text.find_first_not_of(kWhiteSpace, position);
    if (position == std::string_view::npos) {
        return std::nullopt;
    }
    const char first = text[position];
    if (first == '"' || first == '\'') {
        const std::size_t close = std::min(text.find(first, position + 1), text.size());
        return Token{position + 1, close, std::min(close + 1, text.size()), true};
    }
    if (IsIn(kDelimiters, first)) {
        return Token{position, position + 1, position + 1, false};
    }
    const std::size_t end = std::min(text.find_first_of(kDelimiters, position), text.size());
    return Token{position, end, end, false};
}

// The token names `wanted` when the wanted name ends where the token does or
// goes on with a name-end character.
bool NameMatches(std::string_view token, std::string_view wanted) {
    return wanted.starts_with(token) && (wanted.size() == token.size() || IsIn(kNameEnd, wanted[token.size()]));
}

bool MatchesOrAny(std::string_view token, std::string_view wanted) {
    return wanted.empty() || NameMatches(token, wanted);
}

// The text with its entities decoded into `decoded`, or the text itself when
// it holds no "&": texts of megabytes (image data) are then neither copied
// nor walked character by character.
std::string_view DecodeEntities(std::string_view text, std::string& decoded) {
    std::size_t amp = text.find('&');
    if (amp == std::string_view::npos) {
        return text;
    }
    decoded.clear();
    decoded.reserve(text.size());
    for (; amp != std::string_view::npos; amp = text.find('&')) {
        decoded.append(text.substr(0, amp));
        text.remove_prefix(amp + 1);
        const auto entity = std::find_if(kEntities.begin(), kEntities.end(),
                                         [&](const Entity& e) { return text.starts_with(e.name); });
        if (entity == kEntities.end()) {
            decoded += '&';
            continue;
        }
        decoded += entity->character;
        text.remove_prefix(entity->name.size());
    }
    decoded.append(text);
    return decoded;
}

std::string DecodeEntities(std::string_view text) {
    std::string decoded;
    return std::string(DecodeEntities(text, decoded));
}

std::string Encode(std::string_view text, bool forAttribute) {
    std::string encoded;
    encoded.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<': encoded += "&lt;"; break;
        case '&': encoded += "&amp;"; break;
        case '>': encoded += "&gt;"; break;
        case '\'': encoded += forAttribute ? "&apos;" : "'"; break;
        case '"': encoded += forAttribute ? "&quot;" : "\""; break;
        default: encoded += c;
        }
    }
    return encoded;
}

// A document type declaration: tokens up to the ">" outside any "[ ... ]".
std::optional<std::size_t> SkipDeclaration(std::string_view text, std::size_t position) {
    long depth = 0;
    while (const auto token = ReadToken(text, position)) {
        if (token->is(text, "[")) {
            ++depth;
        } else if (token->is(text, "]")) {
            --depth;
        } else if (token->is(text, ">") && depth == 0) {
            return token->next;
        }
        position = token->next;
    }
    return std::nullopt;
}

std::optional<std::size_t> SkipPast(std::string_view text, std::size_t from, std::string_view terminator) {
    const std::size_t found = text.find(terminator, from);
    if (found == std::string_view::npos) {
        return std::nullopt;
    }
    return found + terminator.size();
}

// Skips "<?...?>", "<![...]]>", "<!-...-->" or "<!...>", whose "?" or "!"
// stands at `mark`; the end of the construct, or nullopt when it is invalid.
std::optional<std::size_t> SkipConstruct(std::string_view text, std::size_t mark) {
    if (mark + 1 >= text.size()) {
        return std::nullopt;
    }
    if (text[mark] == '?') {
        return SkipPast(text, mark + 1, "?>");
    }
    if (text[mark + 1] == '[') {
        return SkipPast(text, mark + 2, kCdataClose);
    }
    if (text[mark + 1] == '-') {
        return SkipPast(text, mark + 2, "-->");
    }
    return SkipDeclaration(text, mark + 1);
}

std::string Substitute(std::string_view pattern, std::string_view name) {
    std::string message(pattern);
    if (const std::size_t at = message.find("%s"); at != std::string::npos) {
        message.replace(at, 2, name);
    }
    return message;
}

// What the parse of one start tag under a parent found.
struct StartTag {
    enum class Kind { Element, ParentEnd, Failure } kind = Kind::Failure;
    std::size_t tagOpen = 0;
    std::size_t tagClose = 0;
    ParseError error = ParseError::ElementTagNotFound;
};

StartTag Fail(ParseError error) { return {StartTag::Kind::Failure, 0, 0, error}; }

// From `scan`, the next start tag (skipping "<?" and "<!" constructs) or the
// "<" of an end tag.
StartTag ReadStartTag(std::string_view text, std::size_t scan) {
    while (true) {
        const std::size_t open = text.find('<', scan);
        if (open == std::string_view::npos) {
            return Fail(ParseError::ElementTagNotFound);
        }
        const auto token = ReadToken(text, open + 1);
        if (!token) {
            return Fail(ParseError::AbruptEndWithinTag);
        }
        if (token->quoted) {
            return Fail(ParseError::TagStartsWithQuote);
        }
        const char first = text[token->begin];
        if (first == '?' || first == '!') {
            const auto end = SkipConstruct(text, token->begin);
            if (!end) {
                return Fail(ParseError::InvalidNode);
            }
            scan = *end;
            continue;
        }
        if (first == '/') {
            return {StartTag::Kind::ParentEnd, open, 0, {}};
        }
        // A plain scan: a ">" inside a quoted value ends the tag too.
        const std::size_t close = text.find('>', token->end);
        if (close == std::string_view::npos) {
            return Fail(ParseError::EndOfTagNotFound);
        }
        return {StartTag::Kind::Element, open, close, {}};
    }
}

// Checks the end tag whose "<" is at `open` against the element's name; the
// offset of its ">" or the error.
struct EndTag {
    std::size_t close = 0;
    std::optional<ParseError> error;
};

EndTag ReadEndTag(std::string_view text, std::size_t open, std::string_view name) {
    if (open >= text.size() || text[open] != '<') {
        return {0, ParseError::EndTagNotFound};
    }
    std::size_t counted = 0;
    std::size_t position = open + 1;
    while (const auto token = ReadToken(text, position)) {
        if (token->is(text, ">")) {
            if (counted < 2) {
                break;
            }
            return {token->begin, std::nullopt};
        }
        ++counted;
        if (!token->quoted && counted == 1 && !token->is(text, "/")) {
            return {0, ParseError::ExpectingEndTag};
        }
        if (!token->quoted && counted == 2 && !NameMatches(token->in(text), name)) {
            return {0, ParseError::EndTagDoesNotCorrespond};
        }
        position = token->next;
    }
    return {0, ParseError::EndTagNotCompleted};
}

std::optional<std::string_view> DigitsAfterSpace(std::string_view text, bool& negative) {
    std::size_t at = text.find_first_not_of(kWhiteSpace);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    negative = false;
    if (text[at] == '+' || text[at] == '-') {
        negative = text[at] == '-';
        ++at;
    }
    const std::size_t end = std::min(text.find_first_not_of("0123456789", at), text.size());
    return text.substr(at, end - at);
}

// Leading white space, an optional sign and decimal digits; 0 when there are
// none, the type's limit when the value does not fit.
template <typename Number>
Number ParseDecimal(std::string_view text) {
    bool negative = false;
    const auto digits = DigitsAfterSpace(text, negative);
    if (!digits || (negative && std::numeric_limits<Number>::is_signed == false)) {
        return 0;
    }
    using Wide = std::uint64_t;
    const Wide limit = negative ? Wide(std::numeric_limits<Number>::max()) + 1 : Wide(std::numeric_limits<Number>::max());
    Wide value = 0;
    for (char digit : *digits) {
        const Wide d = static_cast<Wide>(digit - '0');
        if (value > (limit - d) / 10) {
            value = limit;
            break;
        }
        value = value * 10 + d;
    }
    if (negative) {
        return value == limit ? std::numeric_limits<Number>::min() : static_cast<Number>(-static_cast<Number>(value));
    }
    return static_cast<Number>(value);
}

}  // namespace

XmlDocument::XmlDocument() { ResetIndex(); }

bool XmlDocument::LoadText(std::string_view text) { return AdoptText(std::string(text)); }

bool XmlDocument::AdoptText(std::string text) {
    text_ = std::move(text);
    error_.clear();
    Parse();
    ResetCursor();
    return HasRoot();
}

bool XmlDocument::HasRoot() const noexcept { return !records_.empty() && records_[0].firstChild != 0; }

void XmlDocument::ResetIndex() {
    records_.clear();
    records_.emplace_back();
}

void XmlDocument::ResetCursor() noexcept {
    parentPos_ = 0;
    mainPos_ = 0;
    childPos_ = 0;
    mainIsElement_ = false;
}

// One pass over the text with an explicit stack of the elements whose
// children are being read, so that nesting depth costs heap, not stack.
void XmlDocument::Parse() {
    ResetIndex();
    if (text_.empty()) {
        return;  // nothing to parse, and nothing to complain about
    }
    records_.reserve(text_.size() / kRecordsPerTextByte + kSpareRecords);
    struct Open {
        std::size_t index;
        std::size_t lastChild = 0;
    };
    std::vector<Open> open;
    std::size_t scan = 0;
    const auto fail = [&](ParseError error, std::string_view name) {
        error_ = Substitute(kXmlParseErrors[static_cast<std::size_t>(error)], name);
        ResetIndex();
    };
    while (true) {
        const StartTag tag = ReadStartTag(text_, scan);
        if (tag.kind == StartTag::Kind::Failure) {
            return fail(tag.error, {});
        }
        if (tag.kind == StartTag::Kind::ParentEnd) {
            if (open.empty()) {
                return ResetIndex();  // an end tag before any element: no message
            }
            const std::size_t index = open.back().index;
            const std::string_view name = NameView(index);
            const EndTag end = ReadEndTag(text_, tag.tagOpen, name);
            if (end.error) {
                return fail(*end.error, name);
            }
            records_[index].endOpen = tag.tagOpen;
            records_[index].endClose = end.close;
            scan = end.close + 1;
            open.pop_back();
            if (open.empty()) {
                return;
            }
            continue;
        }
        const std::size_t parent = open.empty() ? 0 : open.back().index;
        const std::size_t index = records_.size();
        Record record;
        record.tagOpen = tag.tagOpen;
        record.tagClose = tag.tagClose;
        record.parent = parent;
        const bool empty = text_[tag.tagClose - 1] == '/';
        if (empty) {
            record.endOpen = tag.tagClose - 1;
            record.endClose = tag.tagClose;
        }
        records_.push_back(record);
        if (open.empty()) {
            records_[0].firstChild = index;
        } else if (open.back().lastChild == 0) {
            records_[parent].firstChild = index;
        } else {
            records_[open.back().lastChild].nextSibling = index;
        }
        if (!open.empty()) {
            open.back().lastChild = index;
        }
        scan = tag.tagClose + 1;
        if (!empty) {
            open.push_back({index});
        } else if (open.empty()) {
            return;
        }
    }
}

bool XmlDocument::FindElement(std::string_view name) {
    std::size_t candidate = mainPos_ != 0 ? records_[mainPos_].nextSibling : records_[parentPos_].firstChild;
    for (; candidate != 0; candidate = records_[candidate].nextSibling) {
        if (MatchesOrAny(NameView(candidate), name)) {
            mainPos_ = candidate;
            parentPos_ = records_[candidate].parent;
            childPos_ = 0;
            mainIsElement_ = true;
            return true;
        }
    }
    return false;
}

bool XmlDocument::FindChild(std::string_view name) {
    if (mainPos_ == 0 && !FindElement()) {
        return false;
    }
    std::size_t candidate = childPos_ != 0 ? records_[childPos_].nextSibling : records_[mainPos_].firstChild;
    for (; candidate != 0; candidate = records_[candidate].nextSibling) {
        if (MatchesOrAny(NameView(candidate), name)) {
            childPos_ = candidate;
            return true;
        }
    }
    return false;
}

bool XmlDocument::EnterElement() {
    if (mainPos_ == 0 || !mainIsElement_) {
        return false;
    }
    parentPos_ = mainPos_;
    mainPos_ = childPos_;
    childPos_ = 0;
    mainIsElement_ = mainPos_ != 0;
    return true;
}

bool XmlDocument::LeaveElement() {
    if (parentPos_ == 0) {
        return false;
    }
    childPos_ = mainPos_;
    mainPos_ = parentPos_;
    parentPos_ = records_[parentPos_].parent;
    mainIsElement_ = true;
    return true;
}

void XmlDocument::RewindChildren() {
    childPos_ = 0;
    mainIsElement_ = mainPos_ != 0;
}

std::string XmlDocument::ElementName() const { return NameOf(mainPos_); }
std::string XmlDocument::ChildName() const { return NameOf(childPos_); }
std::string XmlDocument::ChildText() const { return TextOf(childPos_); }
std::string_view XmlDocument::ChildTextView(std::string& decoded) const { return TextView(childPos_, decoded); }

std::string XmlDocument::ChildAttribute(std::string_view name) const { return AttributeOf(childPos_, name); }

std::string XmlDocument::NameOf(std::size_t position) const { return std::string(NameView(position)); }

std::string_view XmlDocument::NameView(std::size_t position) const {
    if (position == 0) {
        return {};
    }
    const auto token = ReadToken(text_, records_[position].tagOpen + 1);
    return token ? token->in(text_) : std::string_view();
}

std::string XmlDocument::TextOf(std::size_t position) const {
    std::string decoded;
    return std::string(TextView(position, decoded));
}

std::string_view XmlDocument::TextView(std::size_t position, std::string& decoded) const {
    if (position == 0) {
        return {};
    }
    const Record& record = records_[position];
    if (record.firstChild != 0 || record.isEmptyElement()) {
        return {};
    }
    const std::string_view text(text_);
    const std::size_t start = record.tagClose + 1;
    const std::size_t first = text.find_first_not_of(kWhiteSpace, start);
    if (first < record.endOpen && text.substr(first).starts_with(kCdataOpen) &&
        record.endOpen - first >= kCdataOpen.size() + kCdataClose.size()) {
        const std::size_t close = text.find(kCdataClose, first + kCdataOpen.size());
        if (close != std::string_view::npos && close + kCdataClose.size() <= record.endOpen) {
            const std::size_t begin = first + kCdataOpen.size();
            return text.substr(begin, close - begin);
        }
    }
    return DecodeEntities(text.substr(start, record.endOpen - start), decoded);
}

namespace {

// The value token of the attribute inside the start tag that begins at
// `tagOpen` and ends at `tagClose`.
std::optional<Token> FindAttributeValue(std::string_view text, std::size_t tagOpen, std::size_t tagClose,
                                        std::string_view name) {
    const auto tagName = ReadToken(text, tagOpen + 1);
    if (!tagName) {
        return std::nullopt;
    }
    std::size_t position = tagName->next;
    while (const auto token = ReadToken(text, position)) {
        // A value must close inside the start tag, or writing it would edit
        // text beyond the tag.
        if (token->begin >= tagClose || token->is(text, ">") || token->is(text, "/") || token->is(text, "?")) {
            return std::nullopt;
        }
        if (!token->quoted && !token->is(text, "=") && MatchesOrAny(token->in(text), name)) {
            const auto equals = ReadToken(text, token->next);
            const auto value = equals ? ReadToken(text, equals->next) : std::nullopt;
            if (value && value->quoted && value->end < tagClose) {
                return value;
            }
        }
        position = token->next;
    }
    return std::nullopt;
}

}  // namespace

std::string XmlDocument::AttributeOf(std::size_t position, std::string_view name) const {
    if (position == 0 || !mainIsElement_) {
        return {};
    }
    const Record& record = records_[position];
    const auto value = FindAttributeValue(text_, record.tagOpen, record.tagClose, name);
    return value ? DecodeEntities(value->in(text_)) : std::string();
}

bool XmlDocument::SetChildAttribute(std::string_view name, std::string_view value) {
    return SetAttribute(childPos_, name, value);
}

bool XmlDocument::SetAttribute(std::size_t position, std::string_view name, std::string_view value) {
    if (position == 0 || !mainIsElement_) {
        return false;
    }
    const Record& record = records_[position];
    const std::string encoded = Encode(value, true);
    if (const auto existing = FindAttributeValue(text_, record.tagOpen, record.tagClose, name)) {
        Splice(existing->begin, existing->end - existing->begin, encoded);
        return true;
    }
    const std::size_t at = record.isEmptyElement() ? record.endOpen : record.tagClose;
    Splice(at, 0, " " + std::string(name) + "=\"" + encoded + "\"");
    return true;
}

// Moves every recorded offset at or behind the replaced range by the change
// in length. Record 0 holds no offsets.
void XmlDocument::Splice(std::size_t position, std::size_t removed, std::string_view inserted) {
    text_.replace(position, removed, inserted);
    const std::size_t from = position + removed;
    const auto shift = [&](std::size_t& offset) {
        if (offset >= from) {
            offset = offset - removed + inserted.size();
        }
    };
    for (std::size_t i = 1; i < records_.size(); ++i) {
        Record& record = records_[i];
        shift(record.tagOpen);
        shift(record.tagClose);
        shift(record.endOpen);
        shift(record.endClose);
    }
}

std::size_t XmlDocument::LastChildOf(std::size_t parent) const noexcept {
    std::size_t last = 0;
    for (std::size_t child = records_[parent].firstChild; child != 0; child = records_[child].nextSibling) {
        last = child;
    }
    return last;
}

// A new element goes after the line break of its predecessor: white space is
// passed over when a tag or the end of the text follows it.
std::size_t XmlDocument::InsertionPointAfter(std::size_t offset) const noexcept {
    const std::size_t skipped = std::min(text_.find_first_not_of(kWhiteSpace, offset), text_.size());
    return skipped == text_.size() || text_[skipped] == '<' ? skipped : offset;
}

// "<p/>" becomes "<p>" CR LF, the element, "</p>"; returns where the
// element now starts.
std::size_t XmlDocument::OpenUpWith(std::size_t parent, std::string_view element) {
    const std::size_t slash = records_[parent].endOpen;
    const std::string parentName = NameOf(parent);
    const std::string opened = ">" + std::string(kLineEnd) + std::string(element) + "</" + parentName;
    Splice(slash, 1, opened);
    Record& record = records_[parent];
    record.tagClose = slash;
    record.endOpen = slash + opened.size() - parentName.size() - 2;
    record.endClose = slash + opened.size();
    return slash + 1 + kLineEnd.size();
}

// Inserts the element's text under the parent after the predecessor (0: as
// the last child) and links its record; returns the new record's index.
std::size_t XmlDocument::InsertElement(std::size_t parent, std::size_t predecessor, std::string_view name,
                                       std::string_view value) {
    const std::string encoded = Encode(value, false);
    std::string element = "<" + std::string(name);
    element += encoded.empty() ? "/>" : ">" + encoded + "</" + std::string(name) + ">";
    element += kLineEnd;

    const std::size_t previous = predecessor != 0 ? predecessor : LastChildOf(parent);
    std::size_t at = 0;
    if (parent == 0) {
        at = text_.size();
        Splice(at, 0, element);
    } else if (records_[parent].isEmptyElement()) {
        at = OpenUpWith(parent, element);
    } else if (previous != 0) {
        at = InsertionPointAfter(records_[previous].endClose + 1);
        Splice(at, 0, element);
    } else {
        at = records_[parent].endOpen;
        if (at == records_[parent].tagClose + 1) {
            // "<p></p>": the new element goes on its own line.
            Splice(at, 0, std::string(kLineEnd) + element);
            at += kLineEnd.size();
        } else {
            Splice(at, 0, element);
        }
    }

    Record record;
    record.tagOpen = at;
    record.tagClose = at + 1 + name.size() + (encoded.empty() ? 1 : 0);
    record.endOpen = encoded.empty() ? record.tagClose - 1 : record.tagClose + 1 + encoded.size();
    record.endClose = encoded.empty() ? record.tagClose : record.endOpen + 2 + name.size();
    record.parent = parent;
    const std::size_t index = records_.size();
    if (previous == 0) {
        record.nextSibling = records_[parent].firstChild;
        records_[parent].firstChild = index;
    } else {
        record.nextSibling = records_[previous].nextSibling;
        records_[previous].nextSibling = index;
    }
    records_.push_back(record);
    return index;
}

bool XmlDocument::AppendElement(std::string_view name, std::string_view value) {
    if (parentPos_ == 0 && HasRoot()) {
        return false;
    }
    const std::size_t index = InsertElement(parentPos_, mainPos_, name, value);
    mainPos_ = index;
    childPos_ = 0;
    mainIsElement_ = true;
    return true;
}

bool XmlDocument::AppendChild(std::string_view name, std::string_view value) {
    if (mainPos_ == 0) {
        return false;
    }
    childPos_ = InsertElement(mainPos_, childPos_, name, value);
    mainIsElement_ = true;
    return true;
}

bool TypedXmlDocument::AppendChildNumber(std::string_view name, std::uint32_t number) {
    return AppendChild(name, std::to_string(number));
}

bool TypedXmlDocument::SetChildNumber(std::string_view name, std::uint32_t number) {
    return SetChildAttribute(name, std::to_string(number));
}

bool TypedXmlDocument::ChildNumber(std::uint32_t& number) const {
    const std::string text = ChildText();
    number = ParseDecimal<std::uint32_t>(text);
    return !text.empty();
}

bool TypedXmlDocument::ChildNumber64(std::int64_t& number) const {
    const std::string text = ChildText();
    number = ParseDecimal<std::int64_t>(text);
    return !text.empty();
}

bool TypedXmlDocument::ChildAttributeFlag(std::string_view name, bool& flag) const {
    std::uint32_t number = 0;
    const bool present = ChildAttributeNumber(name, number);
    flag = number != 0;
    return present;
}

bool TypedXmlDocument::ChildAttributeNumber(std::string_view name, std::uint32_t& number) const {
    const std::string text = ChildAttribute(name);
    number = ParseDecimal<std::uint32_t>(text);
    return !text.empty();
}

}  // namespace tarnwick
