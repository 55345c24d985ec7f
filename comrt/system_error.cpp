#include "comrt/system_error.h"

#include <cerrno>

namespace comrt {

HRESULT HResultFromErrno(int error) {
    switch (error) {
        case 0: return S_OK;
        case ENOENT: return HRESULT_FROM_WIN32(2);
        case ENOTDIR: return HRESULT_FROM_WIN32(3);
        case EMFILE: return HRESULT_FROM_WIN32(4);
        case EACCES:
        case EPERM: return HRESULT_FROM_WIN32(5);
        default: return E_FAIL;
    }
}

}  // namespace comrt
