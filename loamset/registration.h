// What the dataset module writes into the classes root, and removes again.
#pragma once

#include <string>

#include <string_view>

#include "comrt/com_types.h"

namespace loamset {

// Where registration writes: the classes root of the platform (comrt's file on Linux, the registry
// on Windows). Key paths are relative to the classes root, parts separated by a backslash.
class RegistrationStore {
public:
    // Creates the key and its missing parents.
    [[nodiscard]] virtual HRESULT CreateKey(std::string_view key) = 0;
    // Creates the key as above and sets a string value; the default value has the empty name.
    [[nodiscard]] virtual HRESULT SetValue(std::string_view key, std::string_view name, std::string_view data) = 0;
    virtual void DeleteValue(std::string_view key, std::string_view name) = 0;
    virtual void DeleteTree(std::string_view key) = 0;        // the key with all its subkeys and values
    virtual void DeleteKeyIfEmpty(std::string_view key) = 0;  // only when it has neither values nor subkeys

protected:
    ~RegistrationStore() = default;
};

// The type library's rows of the table: written by the table where the type library is the
// installed interface description (Linux), skipped where the system registers the type library
// from the module's own resources (Windows).
enum class TypeLibraryRows { Written, Skipped };

// The files that registration names: the module itself, and the type library, which on Linux is the
// interface description and the client header installed with it. Absolute paths, UTF-8.
struct RegistrationFiles {
    std::string module;
    std::string idl;
    std::string header;
};

// Both walk one table: registration sets each row's value (replacing the class key and the type
// library version key whole), unregistration removes the rows in reverse order and leaves the keys
// shared with other classes ("CLSID", "TypeLib"). E_INVALIDARG for a path the file cannot hold.
[[nodiscard]] HRESULT AddRegistration(RegistrationStore& store, const RegistrationFiles& files,
                                      TypeLibraryRows typeLibrary = TypeLibraryRows::Written);
void RemoveRegistration(RegistrationStore& store, TypeLibraryRows typeLibrary = TypeLibraryRows::Written);

}  // namespace loamset
