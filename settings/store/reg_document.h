#pragma once
// The settings file's contents in the registry export text format: sections
// named by full key paths ("HKEY_CURRENT_USER\TORVAL\DIAGRAM\F1") holding
// named values. Reading accepts what the registry editor exports (REGEDIT4,
// or "Windows Registry Editor Version 5.00" in UTF-16LE with CRLF); writing
// always produces REGEDIT4 with LF line ends. Values the program does not
// understand keep their data text untouched, so a rewrite loses nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m797 {

struct RegValue {
    std::string name;  // unescaped; "@" lines (the default value) have an empty name
    bool isDefault = false;
    std::string data;  // the text after '=', continuation lines joined: dword:00000001, "text", hex:01,02
};

struct RegSection {
    std::string path;  // as written between the brackets
    std::vector<RegValue> values;
};

// What a value's data holds, as the registry would report it.
struct RegData {
    bool isDword = false;
    std::uint32_t dword = 0;
    std::size_t size = 0;  // bytes of data: 4 for a dword, length + 1 for a string
};

class RegDocument {
public:
    // Parses a whole file. nullopt when it is not a registry export or any
    // line cannot be understood; `error` then says where.
    static std::optional<RegDocument> parse(std::string_view bytes, std::string* error = nullptr);
    std::string serialise() const;

    // Key paths compare without regard to ASCII case, like registry names.
    // A key exists when its section or any section below it exists.
    bool keyExists(std::string_view path) const;
    // Adds the sections of the key and of every missing key above it below
    // the hive (the hive itself gets no section).
    void createKey(std::string_view path);
    const RegValue* findValue(std::string_view path, std::string_view name) const;
    // Creates the key if needed, then creates or replaces the value.
    void setDword(std::string_view path, std::string_view name, std::uint32_t value);
    // The same for a string value (REG_SZ); the text must hold no line end.
    void setString(std::string_view path, std::string_view name, std::string_view text);
    bool eraseValue(std::string_view path, std::string_view name);

    const std::vector<RegSection>& sections() const { return sections_; }
    bool empty() const { return sections_.empty(); }

private:
    RegSection* findSection(std::string_view path);
    const RegSection* findSection(std::string_view path) const;
    RegSection& section(std::string_view path);
    void setData(std::string_view path, std::string_view name, std::string data);

    std::vector<RegSection> sections_;
};

// Classifies a value's data text; nullopt when it is malformed.
std::optional<RegData> classifyRegData(std::string_view data);
// The text of a string value's data ("text" with \\ and \" escapes);
// nullopt for any other kind of data.
std::optional<std::string> regString(std::string_view data);
// "dword:" and eight lower-case hexadecimal digits.
std::string dwordData(std::uint32_t value);
// Case-insensitive (ASCII) comparison of registry names.
bool sameRegName(std::string_view a, std::string_view b);
// UTF-16LE (no byte-order mark) to UTF-8; nullopt for an odd length or a lone surrogate.
std::optional<std::string> utf16leToUtf8(std::string_view bytes);

}  // namespace m797
