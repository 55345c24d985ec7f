// System errors as result codes.
#pragma once

#include "comrt/com_types.h"

namespace comrt {

// An errno from opening a file as 0x8007xxxx with the component ABI's system error number:
// ENOENT 2, ENOTDIR 3, EMFILE 4, EACCES and EPERM 5; 0 is S_OK and anything else E_FAIL.
[[nodiscard]] HRESULT HResultFromErrno(int error);

}  // namespace comrt
