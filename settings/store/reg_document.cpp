#include "settings/store/reg_document.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/record/utf8.h"

namespace m797 {
namespace {

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kRegedit5 = "Windows Registry Editor Version 5.00";

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Reads a quoted string with \\ and \" escapes starting at s[0] == '"'.
// Returns the unescaped text and sets `used` to the characters consumed.
std::optional<std::string> readQuoted(std::string_view s, std::size_t& used) {
    if (s.empty() || s[0] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\') {
            if (i + 1 >= s.size()) return std::nullopt;
            out += s[++i];
        } else if (s[i] == '"') {
            used = i + 1;
            return out;
        } else {
            out += s[i];
        }
    }
    return std::nullopt;
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

// Counts the bytes of "01,02,ff" (spaces allowed, may be empty).
std::optional<std::size_t> hexByteCount(std::string_view s) {
    s = trimLeft(trimRight(s));
    if (s.empty()) return 0;
    std::size_t count = 0;
    while (true) {
        s = trimLeft(s);
        std::size_t n = 0;
        while (n < s.size() && isHex(s[n])) ++n;
        if (n == 0 || n > 2) return std::nullopt;
        ++count;
        s = trimLeft(s.substr(n));
        if (s.empty()) return count;
        if (s[0] != ',') return std::nullopt;
        s.remove_prefix(1);
    }
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && sameRegName(s.substr(0, prefix.size()), prefix);
}

// "HKEY_CURRENT_USER\A\B" -> "HKEY_CURRENT_USER\A"; empty at the hive.
std::string_view parentPath(std::string_view path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

// True when `path` is `key` or lies below it.
bool atOrBelow(std::string_view path, std::string_view key) {
    if (path.size() < key.size() || !sameRegName(path.substr(0, key.size()), key)) return false;
    return path.size() == key.size() || path[key.size()] == '\\';
}

// Splits the text into lines, dropping CR before LF.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Turns the file's bytes into UTF-8 text: UTF-16LE behind its byte-order
// mark, UTF-8 with or without its mark.
std::optional<std::string> decodeText(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return utf16leToUtf8(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    return std::string(bytes);
}

}  // namespace

bool sameRegName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> utf16leToUtf8(std::string_view bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::string dwordData(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", value);
    return buf;
}

std::optional<RegData> classifyRegData(std::string_view data) {
    data = trimRight(data);
    RegData d;
    if (startsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), isHex))
            return std::nullopt;
        d.isDword = true;
        d.dword = static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
        d.size = 4;
        return d;
    }
    if (!data.empty() && data[0] == '"') {
        std::size_t used = 0;
        const auto text = readQuoted(data, used);
        if (!text || used != data.size()) return std::nullopt;
        d.size = text->size() + 1;  // the terminating zero counts
        return d;
    }
    if (startsWithNoCase(data, "hex")) {
        std::string_view rest = data.substr(3);
        if (!rest.empty() && rest[0] == '(') {
            const std::size_t close = rest.find(')');
            if (close == std::string_view::npos || close == 1) return std::nullopt;
            const std::string_view type = rest.substr(1, close - 1);
            if (type.size() > 8 || !std::all_of(type.begin(), type.end(), isHex)) return std::nullopt;
            rest = rest.substr(close + 1);
        }
        if (rest.empty() || rest[0] != ':') return std::nullopt;
        const auto count = hexByteCount(rest.substr(1));
        if (!count) return std::nullopt;
        d.size = *count;
        return d;
    }
    return std::nullopt;
}

std::optional<RegDocument> RegDocument::parse(std::string_view bytes, std::string* error) {
    auto fail = [&](std::size_t line, const char* why) -> std::optional<RegDocument> {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return std::nullopt;
    };
    const auto text = decodeText(bytes);
    if (!text) return fail(1, "not valid UTF-16");
    const std::vector<std::string_view> lines = splitLines(*text);
    const std::string_view header = trimRight(lines.front());
    if (header != kRegedit4 && header != kRegedit5) return fail(1, "not a registry export");

    RegDocument doc;
    RegSection* current = nullptr;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t lineNumber = i + 1;
        std::string_view line = trimLeft(trimRight(lines[i]));
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') return fail(lineNumber, "bad key line");
            const std::string_view path = line.substr(1, line.size() - 2);
            if (path.find("\\\\") != std::string_view::npos || path.back() == '\\')
                return fail(lineNumber, "bad key path");
            current = &doc.section(path);
            continue;
        }
        if (!current) return fail(lineNumber, "value outside a key");
        RegValue v;
        std::size_t used = 0;
        if (line[0] == '@') {
            v.isDefault = true;
            used = 1;
        } else {
            const auto name = readQuoted(line, used);
            if (!name) return fail(lineNumber, "bad value name");
            v.name = *name;
        }
        std::string_view rest = trimLeft(line.substr(used));
        if (rest.empty() || rest[0] != '=') return fail(lineNumber, "missing '='");
        std::string data(trimLeft(rest.substr(1)));
        // Long hex data continues on the next lines after a trailing backslash
        // (a string may end in a backslash of its own: "C:\\").
        const bool hexData = startsWithNoCase(data, "hex");
        while (hexData && !data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
            data.pop_back();
            data += trimLeft(trimRight(lines[++i]));
        }
        if (!classifyRegData(data)) return fail(lineNumber, "bad value data");
        v.data = std::move(data);
        auto same = std::find_if(current->values.begin(), current->values.end(), [&](const RegValue& o) {
            return o.isDefault == v.isDefault && sameRegName(o.name, v.name);
        });
        if (same != current->values.end())
            *same = std::move(v);  // a later line replaces an earlier one, as an import does
        else
            current->values.push_back(std::move(v));
    }
    return doc;
}

std::string RegDocument::serialise() const {
    std::string out(kRegedit4);
    out += "\n\n";
    for (const RegSection& s : sections_) {
        out += '[' + s.path + "]\n";
        for (const RegValue& v : s.values)
            out += (v.isDefault ? std::string("@") : quoted(v.name)) + '=' + v.data + '\n';
        out += '\n';
    }
    return out;
}

RegSection* RegDocument::findSection(std::string_view path) {
    for (RegSection& s : sections_)
        if (sameRegName(s.path, path)) return &s;
    return nullptr;
}

const RegSection* RegDocument::findSection(std::string_view path) const {
    return const_cast<RegDocument*>(this)->findSection(path);
}

RegSection& RegDocument::section(std::string_view path) {
    if (RegSection* s = findSection(path)) return *s;
    sections_.push_back(RegSection{std::string(path), {}});
    return sections_.back();
}

bool RegDocument::keyExists(std::string_view path) const {
    return std::any_of(sections_.begin(), sections_.end(),
                       [&](const RegSection& s) { return atOrBelow(s.path, path); });
}

void RegDocument::createKey(std::string_view path) {
    const std::string_view parent = parentPath(path);
    if (parent.empty() || findSection(path)) return;  // the hive itself, or there already
    createKey(parent);
    section(path);
}

const RegValue* RegDocument::findValue(std::string_view path, std::string_view name) const {
    const RegSection* s = findSection(path);
    if (!s) return nullptr;
    for (const RegValue& v : s->values)
        if (!v.isDefault && sameRegName(v.name, name)) return &v;
    return nullptr;
}

void RegDocument::setDword(std::string_view path, std::string_view name, std::uint32_t value) {
    setData(path, name, dwordData(value));
}

void RegDocument::setString(std::string_view path, std::string_view name, std::string_view text) {
    setData(path, name, quoted(text));
}

void RegDocument::setData(std::string_view path, std::string_view name, std::string data) {
    createKey(path);
    RegSection& s = section(path);
    for (RegValue& v : s.values) {
        if (!v.isDefault && sameRegName(v.name, name)) {
            v.data = std::move(data);
            return;
        }
    }
    s.values.push_back(RegValue{std::string(name), false, std::move(data)});
}

std::optional<std::string> regString(std::string_view data) {
    data = trimRight(data);
    std::size_t used = 0;
    auto text = readQuoted(data, used);
    if (!text || used != data.size()) return std::nullopt;
    return text;
}

bool RegDocument::eraseValue(std::string_view path, std::string_view name) {
    RegSection* s = findSection(path);
    if (!s) return false;
    const auto before = s->values.size();
    std::erase_if(s->values, [&](const RegValue& v) { return !v.isDefault && sameRegName(v.name, name); });
    return s->values.size() != before;
}

}  // namespace m797
