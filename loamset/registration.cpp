#include "loamset/registration.h"

#include <string_view>

#include "comrt/guid.h"
#include "loamset/kxdataset.h"

namespace loamset {
namespace {

enum class Removal {
    Never,      // a key shared with other classes
    Value,      // the value, then the key once it holds nothing more
    WholeTree,  // the key with everything under it; registration also starts it afresh
};

struct Row {
    const char* key;
    const char* name;  // null: the row is the key alone
    const char* data;
    Removal removal;
    bool typeLibrary = false;  // one of the type library's rows
};

// Placeholders: %CLSID%, %LIBID%, %MODULE%, %IDL%, %HEADER%, %HELPDIR%, %PLATFORM%.
constexpr Row kRows[] = {
    {KX_PROGID_VERSIONED, "", KX_CLASS_DESCRIPTION, Removal::Value},
    {KX_PROGID_VERSIONED "\\CLSID", "", "%CLSID%", Removal::Value},
    {KX_PROGID, "", KX_CLASS_DESCRIPTION, Removal::Value},
    {KX_PROGID "\\CLSID", "", "%CLSID%", Removal::Value},
    {"CLSID", nullptr, nullptr, Removal::Never},
    {"CLSID\\%CLSID%", "", KX_CLASS_DESCRIPTION, Removal::WholeTree},
    {"CLSID\\%CLSID%\\ProgID", "", KX_PROGID_VERSIONED, Removal::Value},
    {"CLSID\\%CLSID%\\VersionIndependentProgID", "", KX_PROGID, Removal::Value},
    {"CLSID\\%CLSID%\\InprocServer32", "", "%MODULE%", Removal::Value},
    {"CLSID\\%CLSID%\\InprocServer32", "ThreadingModel", "both", Removal::Value},
    {"TypeLib", nullptr, nullptr, Removal::Never},
    {"TypeLib\\%LIBID%", nullptr, nullptr, Removal::Value, true},
    {"TypeLib\\%LIBID%\\1.0", "", KX_TYPELIB_HELPSTRING, Removal::WholeTree, true},
    {"TypeLib\\%LIBID%\\1.0\\0\\%PLATFORM%", "", "%IDL%", Removal::Value, true},
    {"TypeLib\\%LIBID%\\1.0\\0\\%PLATFORM%", "Header", "%HEADER%", Removal::Value, true},
    {"TypeLib\\%LIBID%\\1.0\\FLAGS", "", "0", Removal::Value, true},
    {"TypeLib\\%LIBID%\\1.0\\HELPDIR", "", "%HELPDIR%", Removal::Value, true},
};

// The layout of the interface's records follows the pointer size, so the two are told apart.
constexpr const char* kPlatform = sizeof(void*) == 8 ? "linux64" : "linux32";

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string Expand(std::string_view text, const RegistrationFiles* files) {
    struct Placeholder {
        std::string_view name;
        std::string value;
    };
    const Placeholder placeholders[] = {
        {"%CLSID%", comrt::GuidToString(CLSID_TQ4Dataset)},
        {"%LIBID%", comrt::GuidToString(LIBID_LOAMSETLib)},
        {"%PLATFORM%", kPlatform},
        {"%MODULE%", files != nullptr ? files->module : std::string()},
        {"%IDL%", files != nullptr ? files->idl : std::string()},
        {"%HEADER%", files != nullptr ? files->header : std::string()},
        {"%HELPDIR%", files != nullptr ? FolderOf(files->idl) : std::string()},
    };
    std::string out;
    while (!text.empty()) {
        const auto percent = text.find('%');
        out += text.substr(0, percent);
        if (percent == std::string_view::npos) break;
        text.remove_prefix(percent);
        bool replaced = false;
        for (const Placeholder& p : placeholders) {
            if (text.substr(0, p.name.size()) == p.name) {
                out += p.value;
                text.remove_prefix(p.name.size());
                replaced = true;
                break;
            }
        }
        if (!replaced) {  // a lone percent sign stands for itself
            out += '%';
            text.remove_prefix(1);
        }
    }
    return out;
}

}  // namespace

HRESULT AddRegistration(RegistrationStore& registry, const RegistrationFiles& files, TypeLibraryRows typeLibrary) {
    for (const Row& row : kRows) {
        if (row.typeLibrary && typeLibrary == TypeLibraryRows::Skipped) continue;
        const std::string key = Expand(row.key, &files);
        if (row.removal == Removal::WholeTree) registry.DeleteTree(key);
        const HRESULT hr = row.name == nullptr ? registry.CreateKey(key)
                                               : registry.SetValue(key, row.name, Expand(row.data, &files));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void RemoveRegistration(RegistrationStore& registry, TypeLibraryRows typeLibrary) {
    for (auto it = std::rbegin(kRows); it != std::rend(kRows); ++it) {
        if (it->typeLibrary && typeLibrary == TypeLibraryRows::Skipped) continue;
        const std::string key = Expand(it->key, nullptr);
        switch (it->removal) {
            case Removal::Never: break;
            case Removal::WholeTree: registry.DeleteTree(key); break;
            case Removal::Value:
                if (it->name != nullptr) registry.DeleteValue(key, it->name);
                registry.DeleteKeyIfEmpty(key);
                break;
        }
    }
}

}  // namespace loamset
