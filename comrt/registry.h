// The classes root in memory, and its text in the registry export format.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/com_types.h"

namespace comrt {

// Key paths are relative to HKEY_CLASSES_ROOT, their parts separated by a backslash
// ("CLSID\\{...}\\InprocServer32"). Key and value names compare without regard to ASCII case, as
// in the registry, and keep the spelling they were created with. The default value of a key has
// the empty name.
class Registry {
public:
    struct Value {
        std::string data;
        // String values are written as "..."; anything else read from a file (dword:, hex:) is kept
        // as its text after the '=' and written back unchanged.
        bool isString = true;
    };

    [[nodiscard]] bool HasKey(std::string_view key) const;
    // Creates the key and every missing parent. E_INVALIDARG for an empty part or a control character.
    [[nodiscard]] HRESULT CreateKey(std::string_view key);
    // Creates the key as above and sets a string value. E_INVALIDARG also for data with a line break
    // or a NUL, which the file format cannot hold as a string.
    [[nodiscard]] HRESULT SetValue(std::string_view key, std::string_view name, std::string_view data);
    // A string value, or null when the key, the value or a string of that name is missing.
    [[nodiscard]] const std::string* FindValue(std::string_view key, std::string_view name) const;
    [[nodiscard]] std::size_t ValueCount(std::string_view key) const;
    // Names of the direct subkeys, in the file's order.
    [[nodiscard]] std::vector<std::string> SubKeys(std::string_view key) const;

    // Each returns whether something was removed.
    bool DeleteValue(std::string_view key, std::string_view name);
    bool DeleteTree(std::string_view key);        // the key with all its subkeys and values
    bool DeleteKeyIfEmpty(std::string_view key);  // only when it has neither values nor subkeys

    [[nodiscard]] bool Empty() const { return keys_.empty(); }

    // "REGEDIT4", a blank line, then per key its section line, its values (the default one first)
    // and a blank line; parents before their subkeys.
    [[nodiscard]] std::string ToText() const;

    struct ParseProblem {
        int line = 0;  // 1-based; 0 when the text is fine
        std::string reason;
    };
    // Replaces the contents with the keys of the text. An empty text is an empty classes root. On a
    // problem the contents are left as they were.
    [[nodiscard]] ParseProblem ParseText(std::string_view text);

private:
    struct NameLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    struct Key {
        std::map<std::string, Value, NameLess> values;
    };
    std::map<std::string, Key, NameLess> keys_;
};

}  // namespace comrt
