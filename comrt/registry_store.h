// Where comrt finds classes, and how the user's classes root is kept on disk.
//
// Two kinds of source, both text files in the registry export format (REGEDIT4):
// - The user's classes root: one file, $COMRT_CLASSES_ROOT when set and not empty, else
//   ~/.local/share/comrt/classes.reg. regsvr writes only this file. Readers take it as it is;
//   writers take a lock, read it, change it in memory and replace it whole, so that a reader sees
//   the file before or after a change and never half of one.
// - The system's registration files: every regular file whose name ends in ".reg" (and does not
//   start with a dot) directly in the system folder, in byte order of their names. The folder is
//   $COMRT_SYSTEM_CLASSES when that is set (set but empty: no system folder), else the one compiled
//   in, <datadir>/comrt/classes.d of the installation prefix. A package installs its component's
//   file there and its removal takes the registration away; comrt never writes these files.
//
// A lookup takes a key from the first source that holds it: the user's root, then the system
// files in order. So a user's registration of a class shadows the system's (a newer build of the
// same component, say), and `regsvr -u` brings the system's back. A system file that cannot be read,
// is damaged or is larger than kSystemFileLimit is skipped; the failure of a lookup then names it.
// A damaged user root fails every lookup, as it did before there were system files: it is the
// user's to repair, and it may be meant to shadow a system class.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "comrt/com_types.h"
#include "comrt/registry.h"

namespace comrt {

// A registration file is a few hundred bytes; a system file larger than this is no registration.
inline constexpr std::size_t kSystemFileLimit = std::size_t{1} << 20;

// $COMRT_CLASSES_ROOT when set and not empty, else ~/.local/share/comrt/classes.reg ($HOME, or the
// password database's home folder). Empty when there is no home folder.
[[nodiscard]] std::string ClassesRootPath();

// $COMRT_SYSTEM_CLASSES when set (empty when it is set but empty), else the compiled-in folder.
[[nodiscard]] std::string SystemClassesFolder();

// Reads the user's classes root; a missing file is an empty one. E_ACCESSDENIED when it may not be
// read, REGDB_E_READREGDB when it cannot be read or is not in the export format. detail, when given,
// receives a sentence naming the file and the reason on failure.
[[nodiscard]] HRESULT ReadClassesRoot(Registry& out, std::string* detail = nullptr);

// Under an exclusive lock on "<file>.lock": reads the user's classes root, lets edit change it and,
// when edit succeeded and changed anything, writes it to a temporary file beside it and renames
// that over it (the file's folders are created as needed, an existing file keeps its mode, a
// symbolic link is followed). A failed edit writes nothing and its result is returned. A damaged
// file is never overwritten (REGDB_E_READREGDB). Write failures give E_ACCESSDENIED or
// REGDB_E_WRITEREGDB.
[[nodiscard]] HRESULT EditClassesRoot(const std::function<HRESULT(Registry&)>& edit,
                                      std::string* detail = nullptr);

// The user's classes root and the system's registration files, read once for a lookup.
class ClassesView {
public:
    // A string value of the first source that holds key; null when no source holds the key, or when
    // the one that does lacks the value.
    [[nodiscard]] const std::string* FindValue(std::string_view key, std::string_view name) const;
    // Where a lookup searched, for the detail of its failure: "in ROOT or the .reg files of FOLDER",
    // followed by "; skipped FILE: REASON" for each system file that could not be used.
    [[nodiscard]] std::string Searched() const;

private:
    friend HRESULT ReadClassesView(ClassesView& out, std::string* detail);
    struct Source {
        std::string path;
        Registry registry;
    };
    std::vector<Source> sources_;  // the user's root first (when there is a home folder)
    std::string rootPath_;
    std::string systemFolder_;
    std::vector<std::string> skipped_;
};

// Fills out from the user's root (a missing file or home folder gives no source) and the system
// folder (a missing folder gives none). Fails, as ReadClassesRoot, only for the user's root.
[[nodiscard]] HRESULT ReadClassesView(ClassesView& out, std::string* detail = nullptr);

}  // namespace comrt
