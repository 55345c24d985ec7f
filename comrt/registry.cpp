#include "comrt/registry.h"

#include <algorithm>

namespace comrt {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";

// The backslash ranks below every other character, so that a key's subkeys follow it directly.
int Rank(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u == '\\') return 0;
    if (u >= 'A' && u <= 'Z') return u - 'A' + 'a' + 1;
    return u + 1;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Rank(a[i]) != Rank(b[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

bool ValidKeyPath(std::string_view key) {
    if (key.empty() || HasControlCharacter(key)) return false;
    if (key.front() == '\\' || key.back() == '\\') return false;
    return key.find("\\\\") == std::string_view::npos;
}

bool ValidText(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Reads a quoted string starting at text[pos] == '"'; pos ends behind the closing quote.
bool ReadQuoted(std::string_view text, std::size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
            out += text[++pos];
        } else {
            out += c;
        }
    }
    return false;
}

}  // namespace

bool Registry::NameLess::operator()(std::string_view a, std::string_view b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ra = Rank(a[i]);
        const int rb = Rank(b[i]);
        if (ra != rb) return ra < rb;
    }
    return a.size() < b.size();
}

bool Registry::HasKey(std::string_view key) const {
    return keys_.find(key) != keys_.end();
}

HRESULT Registry::CreateKey(std::string_view key) {
    if (!ValidKeyPath(key)) return E_INVALIDARG;
    for (std::size_t end = key.find('\\'); end != std::string_view::npos; end = key.find('\\', end + 1)) {
        keys_.try_emplace(std::string(key.substr(0, end)));
    }
    keys_.try_emplace(std::string(key));
    return S_OK;
}

HRESULT Registry::SetValue(std::string_view key, std::string_view name, std::string_view data) {
    if (!ValidText(name) || !ValidText(data)) return E_INVALIDARG;
    if (const HRESULT hr = CreateKey(key); FAILED(hr)) return hr;
    auto& values = keys_.find(key)->second.values;
    auto it = values.find(name);
    if (it == values.end()) it = values.emplace(std::string(name), Value{}).first;
    it->second = Value{std::string(data), true};
    return S_OK;
}

const std::string* Registry::FindValue(std::string_view key, std::string_view name) const {
    const auto k = keys_.find(key);
    if (k == keys_.end()) return nullptr;
    const auto v = k->second.values.find(name);
    if (v == k->second.values.end() || !v->second.isString) return nullptr;
    return &v->second.data;
}

std::size_t Registry::ValueCount(std::string_view key) const {
    const auto k = keys_.find(key);
    return k == keys_.end() ? 0 : k->second.values.size();
}

std::vector<std::string> Registry::SubKeys(std::string_view key) const {
    std::vector<std::string> names;
    const std::string prefix = std::string(key) + '\\';
    for (auto it = keys_.lower_bound(prefix); it != keys_.end() && StartsWithNoCase(it->first, prefix);
         ++it) {
        const std::string_view rest = std::string_view(it->first).substr(prefix.size());
        if (rest.find('\\') == std::string_view::npos) names.emplace_back(rest);
    }
    return names;
}

bool Registry::DeleteValue(std::string_view key, std::string_view name) {
    const auto k = keys_.find(key);
    if (k == keys_.end()) return false;
    const auto v = k->second.values.find(name);
    if (v == k->second.values.end()) return false;
    k->second.values.erase(v);
    return true;
}

bool Registry::DeleteTree(std::string_view key) {
    const auto k = keys_.find(key);
    if (k == keys_.end()) return false;
    const std::string prefix = std::string(key) + '\\';
    auto end = keys_.lower_bound(prefix);
    while (end != keys_.end() && StartsWithNoCase(end->first, prefix)) ++end;
    keys_.erase(k, end);
    return true;
}

bool Registry::DeleteKeyIfEmpty(std::string_view key) {
    const auto k = keys_.find(key);
    if (k == keys_.end() || !k->second.values.empty()) return false;
    const auto next = std::next(k);
    if (next != keys_.end() && StartsWithNoCase(next->first, std::string(key) + '\\')) return false;
    keys_.erase(k);
    return true;
}

std::string Registry::ToText() const {
    std::string out(kHeader);
    out += "\n\n";
    for (const auto& [path, key] : keys_) {
        out += '[';
        out += kRoot;
        out += '\\';
        out += path;
        out += "]\n";
        for (const auto& [name, value] : key.values) {  // the empty name sorts first
            out += name.empty() ? std::string("@") : Quoted(name);
            out += '=';
            out += value.isString ? Quoted(value.data) : value.data;
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

Registry::ParseProblem Registry::ParseText(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Registry parsed;
    bool sawHeader = false;
    const std::string* current = nullptr;  // the key that value lines belong to
    int lineNo = 0;
    std::size_t pos = 0;
    auto nextLine = [&](std::string_view& line) {
        if (pos >= text.size()) return false;
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        ++lineNo;
        return true;
    };
    auto problem = [&](std::string reason) { return ParseProblem{lineNo, std::move(reason)}; };

    std::string_view raw;
    while (nextLine(raw)) {
        const std::string_view line = Trim(raw);
        if (!sawHeader) {
            if (line.empty()) continue;
            if (line != kHeader) return problem("the file does not start with REGEDIT4");
            sawHeader = true;
            continue;
        }
        if (line.empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || close + 1 != line.size())
                return problem("a key line must end with ]");
            const std::string_view path = line.substr(1, close - 1);
            if (!path.empty() && path.front() == '-') return problem("key deletions are not supported");
            if (!StartsWithNoCase(path, kRoot)) return problem("keys must lie under HKEY_CLASSES_ROOT");
            const std::string_view rest = path.substr(kRoot.size());
            if (rest.empty()) {  // the root itself holds no values here
                current = nullptr;
                continue;
            }
            if (rest.front() != '\\') return problem("keys must lie under HKEY_CLASSES_ROOT");
            const std::string_view key = rest.substr(1);
            if (FAILED(parsed.CreateKey(key))) return problem("an empty or invalid key name");
            current = &parsed.keys_.find(key)->first;
            continue;
        }

        if (current == nullptr) return problem("a value before the first key");
        std::string name;
        std::size_t at = 0;
        if (line.front() == '@') {
            at = 1;
        } else if (line.front() == '"') {
            if (!ReadQuoted(line, at, name)) return problem("a value name without its closing quote");
        } else {
            return problem("a value line must start with @ or a quoted name");
        }
        std::string_view rhs = Trim(line.substr(at));
        if (rhs.empty() || rhs.front() != '=') return problem("a value without =");
        rhs = Trim(rhs.substr(1));

        Value value;
        if (!rhs.empty() && rhs.front() == '"') {
            std::size_t end = 0;
            if (!ReadQuoted(rhs, end, value.data)) return problem("a string without its closing quote");
            if (!Trim(rhs.substr(end)).empty()) return problem("text after the closing quote");
        } else {
            if (rhs.empty()) return problem("a value without data");
            if (rhs == "-") return problem("value deletions are not supported");
            value.isString = false;
            value.data = std::string(rhs);
            // Binary values continue on the next line after a trailing backslash.
            while (!value.data.empty() && value.data.back() == '\\') {
                std::string_view more;
                if (!nextLine(more)) return problem("a continued value at the end of the file");
                value.data.pop_back();
                value.data += Trim(more);
            }
        }
        auto& values = parsed.keys_.find(*current)->second.values;
        values.insert_or_assign(std::move(name), std::move(value));
    }
    keys_ = std::move(parsed.keys_);
    return {};
}

}  // namespace comrt
