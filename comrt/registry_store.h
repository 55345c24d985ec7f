// The classes root on disk: one file in the registry export format, shared by every process of the
// user. Readers take it as it is; writers take a lock, read it, change it in memory and replace it
// whole, so that a reader sees the file before or after a change and never half of one.
#pragma once

#include <functional>
#include <string>

#include "comrt/com_types.h"
#include "comrt/registry.h"

namespace comrt {

// $COMRT_CLASSES_ROOT when set and not empty, else ~/.local/share/comrt/classes.reg ($HOME, or the
// password database's home folder). Empty when there is no home folder.
[[nodiscard]] std::string ClassesRootPath();

// Reads the classes root; a missing file is an empty one. E_ACCESSDENIED when it may not be read,
// REGDB_E_READREGDB when it cannot be read or is not in the export format. detail, when given,
// receives a sentence naming the file and the reason on failure.
[[nodiscard]] HRESULT ReadClassesRoot(Registry& out, std::string* detail = nullptr);

// Under an exclusive lock on "<file>.lock": reads the classes root, lets edit change it and, when
// edit succeeded and changed anything, writes it to a temporary file beside it and renames that over
// it (the file's folders are created as needed, an existing file keeps its mode, a symbolic link is
// followed). A failed edit writes nothing and its result is returned. A damaged file is never
// overwritten (REGDB_E_READREGDB). Write failures give E_ACCESSDENIED or REGDB_E_WRITEREGDB.
[[nodiscard]] HRESULT EditClassesRoot(const std::function<HRESULT(Registry&)>& edit,
                                      std::string* detail = nullptr);

}  // namespace comrt
