// The module on Windows: its file learned from its own handle, the classes root in the registry,
// the type library registered by the system from the module's resources.
#include "loamset/module_platform.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "loamset/kxdataset.h"

namespace loamset {
namespace {

// Any object inside the module tells the system which module it belongs to.
const int kModuleAnchor = 0;

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int count = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                            static_cast<int>(utf8.size()), nullptr, 0);
    if (count <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          count);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int count = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                            nullptr, nullptr);
    if (count <= 0) return {};
    std::string utf8(static_cast<std::size_t>(count), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), count, nullptr,
                          nullptr);
    return utf8;
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module))
        return nullptr;
    return module;
}

// The module's full path; empty when the system cannot tell it.
std::wstring ModulePath() {
    const HMODULE module = ThisModule();
    if (module == nullptr) return {};
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return std::wstring(path.data(), length);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

HRESULT FromWin32(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

class ClassesRootRegistry final : public RegistrationStore {
public:
    HRESULT CreateKey(std::string_view key) override {
        HKEY handle = nullptr;
        const HRESULT hr = Create(key, handle);
        if (SUCCEEDED(hr)) ::RegCloseKey(handle);
        return hr;
    }

    HRESULT SetValue(std::string_view key, std::string_view name, std::string_view data) override {
        const std::wstring wideName = Wide(name);
        const std::wstring wideData = Wide(data);
        // Text that is no UTF-8 has no wide spelling.
        if (wideData.empty() != data.empty() || wideName.empty() != name.empty()) return E_INVALIDARG;
        HKEY handle = nullptr;
        if (const HRESULT hr = Create(key, handle); FAILED(hr)) return hr;
        const auto bytes = static_cast<DWORD>((wideData.size() + 1) * sizeof(wchar_t));
        const LSTATUS status = ::RegSetValueExW(handle, name.empty() ? nullptr : wideName.c_str(), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(wideData.c_str()), bytes);
        ::RegCloseKey(handle);
        return FromWin32(status);
    }

    void DeleteValue(std::string_view key, std::string_view name) override {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
        ::RegDeleteValueW(handle, name.empty() ? nullptr : Wide(name).c_str());
        ::RegCloseKey(handle);
    }

    void DeleteTree(std::string_view key) override { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key).c_str()); }

    void DeleteKeyIfEmpty(std::string_view key) override {
        const std::wstring wideKey = Wide(key);
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, wideKey.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
            return;
        DWORD subkeys = 0;
        DWORD values = 0;
        const LSTATUS status = ::RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr);
        ::RegCloseKey(handle);
        if (status == ERROR_SUCCESS && subkeys == 0 && values == 0) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, wideKey.c_str());
    }

private:
    static HRESULT Create(std::string_view key, HKEY& handle) {
        const std::wstring wideKey = Wide(key);
        if (wideKey.empty()) return E_INVALIDARG;
        return FromWin32(::RegCreateKeyExW(HKEY_CLASSES_ROOT, wideKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_WRITE, nullptr, &handle, nullptr));
    }
};

}  // namespace

const TypeLibraryRows kPlatformTypeLibraryRows = TypeLibraryRows::Skipped;

// The type library is the module's resource TYPELIB 1.
HRESULT LocateRegistrationFiles(RegistrationFiles& files) {
    const std::wstring path = ModulePath();
    files.module = Utf8(path);
    if (files.module.empty()) return SELFREG_E_CLASS;
    files.idl = files.module;
    files.header.clear();
    // Checked before anything is written, so that a module built without it registers nothing.
    if (::FindResourceW(ThisModule(), MAKEINTRESOURCEW(1), L"TYPELIB") == nullptr) return SELFREG_E_TYPELIB;
    return S_OK;
}

HRESULT EditClassesRoot(const std::function<HRESULT(RegistrationStore&)>& edit) {
    ClassesRootRegistry store;
    return edit(store);
}

HRESULT RegisterTypeLibrary(const RegistrationFiles& files) {
    const std::wstring path = Wide(files.module);
    ITypeLib* library = nullptr;
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return SELFREG_E_TYPELIB;
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    std::wstring module(path);
    std::wstring help(folder);
    const HRESULT hr = ::RegisterTypeLib(library, module.data(), help.data());
    library->Release();
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

// The registration of the version that this module carries, for the system kind it was built for.
void UnregisterTypeLibrary() {
    const std::wstring path = ModulePath();
    ITypeLib* library = nullptr;
    if (path.empty() || FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return;
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                            attributes->syskind);
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
}

}  // namespace loamset
