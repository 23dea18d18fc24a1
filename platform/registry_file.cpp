#include "platform/registry_file.h"

#include "platform/case_fold.h"
#include "platform/cp932.h"
#include "platform/text.h"

#include <utility>

namespace keldor::platform {

namespace {

enum class Format { Wine, Regedit4, Regedit5 };

constexpr std::size_t kCurrentUser = 0;
constexpr std::size_t kLocalMachine = 1;

std::size_t rootIndex(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? kCurrentUser : kLocalMachine;
}

Text utf16leText(ByteView bytes) {
    Text text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(byteAt(bytes, i) | (byteAt(bytes, i + 1) << 8));
    }
    return text;
}

bool startsWith(ByteView bytes, ByteView prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

bool startsWith(TextView text, TextView prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The whole file as text. An export of the registry editor 5 is UTF-16LE
// with a byte-order mark; REGEDIT4 is in the ANSI code page, which on the
// systems Outlook Express ran on here is code page 932; Wine writes ASCII with
// escapes for everything else, read as UTF-8 to be lenient.
Text decodeContents(ByteView contents) {
    if (startsWith(contents, "\xFF\xFE")) {
        return utf16leText(contents.substr(2));
    }
    if (startsWith(contents, "\xEF\xBB\xBF")) {
        return fromUtf8(contents.substr(3));
    }
    if (startsWith(contents, "REGEDIT4")) {
        return cp932ToText(contents);
    }
    return fromUtf8(contents);
}

TextView trimmed(TextView text) {
    std::size_t first = 0;
    while (first < text.size() && (text[first] == u' ' || text[first] == u'\t')) {
        ++first;
    }
    std::size_t last = text.size();
    while (last > first &&
           (text[last - 1] == u' ' || text[last - 1] == u'\t' || text[last - 1] == u'\r')) {
        --last;
    }
    return text.substr(first, last - first);
}

std::vector<TextView> splitLines(TextView text) {
    std::vector<TextView> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find(u'\n', start);
        if (end == TextView::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A quoted or bracketed text starting just after its opening delimiter, up
// to the unescaped `end`. Wine escapes: \\ \" \[ \] \a \b \e \f \n \r \t \v,
// \x with up to four hex digits, \ with up to three octal digits. The
// registry editor escapes only \\ and \"; other backslashes stay as they are.
// `next` receives the position after the closing delimiter. nullopt when
// the text is not closed.
std::optional<Text> unescape(TextView line, std::size_t from, char16_t end, Format format,
                             std::size_t& next) {
    Text out;
    std::size_t pos = from;
    while (pos < line.size()) {
        const char16_t c = line[pos];
        if (c == end) {
            next = pos + 1;
            return out;
        }
        if (c != u'\\' || pos + 1 >= line.size()) {
            out += c;
            ++pos;
            continue;
        }
        const char16_t e = line[pos + 1];
        pos += 2;
        if (format != Format::Wine) {
            if (e != u'\\' && e != u'"') {
                out += u'\\';
            }
            out += e;
            continue;
        }
        switch (e) {
        case u'a':
            out += u'\a';
            break;
        case u'b':
            out += u'\b';
            break;
        case u'e':
            out += u'\x1B';
            break;
        case u'f':
            out += u'\f';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u'v':
            out += u'\v';
            break;
        case u'x': {
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && pos < line.size() && hexDigitValue(line[pos]) >= 0) {
                value = value * 16 + static_cast<unsigned>(hexDigitValue(line[pos]));
                ++pos;
                ++digits;
            }
            out += digits == 0 ? u'x' : static_cast<char16_t>(value);
            break;
        }
        default:
            if (e >= u'0' && e <= u'7') {
                unsigned value = static_cast<unsigned>(e - u'0');
                for (int digits = 1;
                     digits < 3 && pos < line.size() && line[pos] >= u'0' && line[pos] <= u'7';
                     ++digits) {
                    value = value * 8 + static_cast<unsigned>(line[pos] - u'0');
                    ++pos;
                }
                out += static_cast<char16_t>(value);
            } else {
                out += e;
            }
        }
    }
    return std::nullopt;
}

// "aa,bb, cc" to bytes (a trailing comma allowed); nullopt on anything that
// is not a byte in hex.
std::optional<Bytes> hexBytes(TextView list) {
    Bytes bytes;
    list = trimmed(list);
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t comma = list.find(u',', pos);
        if (comma == TextView::npos) {
            comma = list.size();
        }
        const TextView item = trimmed(list.substr(pos, comma - pos));
        if (item.empty() || item.size() > 2 || hexDigitValue(item[0]) < 0 ||
            (item.size() == 2 && hexDigitValue(item[1]) < 0)) {
            return std::nullopt;
        }
        int value = hexDigitValue(item[0]);
        if (item.size() == 2) {
            value = value * 16 + hexDigitValue(item[1]);
        }
        bytes += toByte(static_cast<unsigned>(value));
        pos = comma + 1;
    }
    return bytes;
}

// A type number in hex, as in "hex(2)" or "str(7)", up to the ')'.
std::optional<std::uint32_t> typeNumber(TextView data, std::size_t from, std::size_t& next) {
    std::uint32_t type = 0;
    std::size_t pos = from;
    while (pos < data.size() && hexDigitValue(data[pos]) >= 0 && pos - from < 8) {
        type = type * 16 + static_cast<std::uint32_t>(hexDigitValue(data[pos]));
        ++pos;
    }
    if (pos == from || pos >= data.size() || data[pos] != u')') {
        return std::nullopt;
    }
    next = pos + 1;
    return type;
}

bool isStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct ParsedValue {
    Text name;
    std::optional<RegistryValue> value; // nullopt: the value is to be deleted
};

std::optional<ParsedValue> parseValueLine(TextView line, Format format) {
    ParsedValue parsed;
    std::size_t pos = 0;
    if (line[0] == u'@') {
        pos = 1;
    } else {
        auto name = unescape(line, 1, u'"', format, pos);
        if (!name) {
            return std::nullopt;
        }
        parsed.name = std::move(*name);
    }
    while (pos < line.size() && line[pos] == u' ') {
        ++pos;
    }
    if (pos >= line.size() || line[pos] != u'=') {
        return std::nullopt;
    }
    const TextView data = trimmed(line.substr(pos + 1));
    if (data == u"-") {
        return parsed;
    }
    RegistryValue value;
    std::size_t next = 0;
    if (startsWith(data, u"\"")) {
        auto text = unescape(data, 1, u'"', format, next);
        if (!text) {
            return std::nullopt;
        }
        value.type = kRegSz;
        value.text = std::move(*text);
    } else if (startsWith(data, u"str(")) {
        const auto type = typeNumber(data, 4, next);
        if (!type || next + 1 >= data.size() || data[next] != u':' || data[next + 1] != u'"') {
            return std::nullopt;
        }
        auto text = unescape(data, next + 2, u'"', format, next);
        if (!text) {
            return std::nullopt;
        }
        value.type = *type;
        value.text = std::move(*text);
    } else if (startsWith(data, u"dword:")) {
        value.type = kRegDword;
    } else if (startsWith(data, u"hex")) {
        std::size_t at = 3;
        value.type = kRegBinary;
        if (startsWith(data.substr(3), u"(")) {
            const auto type = typeNumber(data, 4, at);
            if (!type) {
                return std::nullopt;
            }
            value.type = *type;
        }
        if (at >= data.size() || data[at] != u':') {
            return std::nullopt;
        }
        const auto bytes = hexBytes(data.substr(at + 1));
        if (!bytes) {
            return std::nullopt;
        }
        if (isStringType(value.type)) {
            value.text = format == Format::Regedit4 ? cp932ToText(*bytes) : utf16leText(*bytes);
        }
    } else {
        return std::nullopt;
    }
    parsed.value = std::move(value);
    return parsed;
}

} // namespace

std::optional<std::vector<Text>> splitKeyPath(TextView keyPath) {
    std::vector<Text> components;
    if (keyPath.empty()) {
        return components;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = keyPath.find(u'\\', start);
        const TextView component =
            keyPath.substr(start, end == TextView::npos ? TextView::npos : end - start);
        if (component.empty()) {
            return std::nullopt;
        }
        components.emplace_back(component);
        if (end == TextView::npos) {
            return components;
        }
        start = end + 1;
    }
}

RegistryFile::RegistryFile() : keys_(2) {}

std::optional<std::size_t> RegistryFile::findChild(std::size_t key, const Text& folded) const {
    for (const std::size_t child : keys_[key].children) {
        if (keys_[child].folded == folded) {
            return child;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> RegistryFile::findKey(RegistryRoot root, TextView keyPath) const {
    const auto components = splitKeyPath(keyPath);
    if (!components) {
        return std::nullopt;
    }
    std::size_t key = rootIndex(root);
    for (const Text& component : *components) {
        const auto found = findChild(key, foldCase(component));
        if (!found) {
            return std::nullopt;
        }
        key = *found;
    }
    return key;
}

std::optional<std::size_t> RegistryFile::findOrAddKey(RegistryRoot root, TextView keyPath) {
    const auto components = splitKeyPath(keyPath);
    if (!components) {
        return std::nullopt;
    }
    std::size_t key = rootIndex(root);
    for (const Text& component : *components) {
        Text folded = foldCase(component);
        std::optional<std::size_t> found = findChild(key, folded);
        if (!found) {
            found = keys_.size();
            keys_.push_back(Key{component, std::move(folded), {}, {}});
            keys_[key].children.push_back(*found);
        }
        key = *found;
    }
    return key;
}

void RegistryFile::removeKey(RegistryRoot root, TextView keyPath) {
    const auto key = findKey(root, keyPath);
    if (!key || *key == kCurrentUser || *key == kLocalMachine) {
        return;
    }
    for (Key& candidate : keys_) {
        std::erase(candidate.children, *key);
    }
}

namespace {

// The format named by the first line that is not blank; `index` is left
// on the line after it.
std::optional<Format> readFormatLine(const std::vector<TextView>& lines, std::size_t& index) {
    for (; index < lines.size(); ++index) {
        const TextView line = trimmed(lines[index]);
        if (line.empty()) {
            continue;
        }
        ++index;
        if (line == u"WINE REGISTRY Version 2") {
            return Format::Wine;
        }
        if (line == u"REGEDIT4") {
            return Format::Regedit4;
        }
        if (line == u"Windows Registry Editor Version 5.00") {
            return Format::Regedit5;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// A "[key]" line: the key it names, and whether it is "[-key]", which
// removes it.
struct SectionLine {
    RegistryRoot root;
    Text path;
    bool remove = false;
};

// nullopt for a line that names no key, or a root other than the two kept.
std::optional<SectionLine> parseSectionLine(const Text& line, Format format,
                                            RegistryRoot wineRoot) {
    SectionLine section{wineRoot, {}, false};
    if (format == Format::Wine) {
        std::size_t next = 0;
        auto name = unescape(line, 1, u']', format, next);
        if (!name) {
            return std::nullopt;
        }
        section.path = std::move(*name);
        return section;
    }
    const std::size_t close = line.rfind(u']');
    if (close == Text::npos) {
        return std::nullopt;
    }
    Text path = line.substr(1, close - 1);
    if (startsWith(path, u"-")) {
        section.remove = true;
        path.erase(0, 1);
    }
    const std::size_t split = path.find(u'\\');
    const Text rootName = foldCase(path.substr(0, split));
    if (rootName == u"hkey_current_user" || rootName == u"hkcu") {
        section.root = RegistryRoot::CurrentUser;
    } else if (rootName == u"hkey_local_machine" || rootName == u"hklm") {
        section.root = RegistryRoot::LocalMachine;
    } else {
        return std::nullopt;
    }
    section.path = split == Text::npos ? Text() : path.substr(split + 1);
    return section;
}

} // namespace

void RegistryFile::setValue(std::size_t key, Text name, std::optional<RegistryValue> value) {
    std::vector<Value>& values = keys_[key].values;
    const Text folded = foldCase(name);
    auto existing = values.begin();
    while (existing != values.end() && foldCase(existing->name) != folded) {
        ++existing;
    }
    if (!value) {
        if (existing != values.end()) {
            values.erase(existing);
        }
    } else if (existing != values.end()) {
        existing->value = std::move(*value);
    } else {
        values.push_back(Value{std::move(name), std::move(*value)});
    }
}

bool RegistryFile::load(ByteView contents, RegistryRoot wineRoot) {
    const Text text = decodeContents(contents);
    const std::vector<TextView> lines = splitLines(text);
    std::size_t index = 0;
    const std::optional<Format> format = readFormatLine(lines, index);
    if (!format) {
        return false;
    }

    constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);
    std::size_t section = kNoSection; // the key values go to; none after an unknown root
    for (; index < lines.size(); ++index) {
        Text line(trimmed(lines[index]));
        if (line.empty() || line[0] == u';' || line[0] == u'#') {
            continue;
        }
        if (line[0] == u'[') {
            section = kNoSection;
            const std::optional<SectionLine> named = parseSectionLine(line, *format, wineRoot);
            if (named && named->remove) {
                removeKey(named->root, named->path);
            } else if (named) {
                section = findOrAddKey(named->root, named->path).value_or(kNoSection);
            }
            continue;
        }
        if (line[0] != u'"' && line[0] != u'@') {
            continue;
        }
        // Binary data runs on over lines that end in a backslash.
        while (line.back() == u'\\' && index + 1 < lines.size()) {
            line.pop_back();
            line += trimmed(lines[++index]);
        }
        if (section == kNoSection) {
            continue;
        }
        if (auto parsed = parseValueLine(line, *format)) {
            setValue(section, std::move(parsed->name), std::move(parsed->value));
        }
    }
    return true;
}

std::optional<std::vector<Text>> RegistryFile::subKeyNames(RegistryRoot root,
                                                           TextView keyPath) const {
    const auto key = findKey(root, keyPath);
    if (!key) {
        return std::nullopt;
    }
    std::vector<Text> names;
    for (const std::size_t child : keys_[*key].children) {
        names.push_back(keys_[child].name);
    }
    return names;
}

std::optional<RegistryValue> RegistryFile::readValue(RegistryRoot root, TextView keyPath,
                                                     TextView valueName) const {
    const auto key = findKey(root, keyPath);
    if (!key) {
        return std::nullopt;
    }
    const Text folded = foldCase(valueName);
    for (const Value& value : keys_[*key].values) {
        if (foldCase(value.name) == folded) {
            return value.value;
        }
    }
    return std::nullopt;
}

} // namespace keldor::platform
