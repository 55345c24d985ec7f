#include "comrt/comrt.h"

namespace {

struct ResultText {
    HRESULT code;
    const char* text;
};

constexpr ResultText kTexts[] = {
    {S_OK, "success"},
    {S_FALSE, "success (false)"},
    {E_NOTIMPL, "not implemented"},
    {E_NOINTERFACE, "no such interface"},
    {E_POINTER, "invalid pointer"},
    {E_ABORT, "operation aborted"},
    {E_FAIL, "unspecified failure"},
    {E_UNEXPECTED, "unexpected failure"},
    {E_OUTOFMEMORY, "out of memory"},
    {E_INVALIDARG, "invalid argument"},
    {HRESULT_FROM_WIN32(2), "the file was not found"},
    {HRESULT_FROM_WIN32(3), "the path was not found"},
    {HRESULT_FROM_WIN32(4), "too many open files"},
    {E_ACCESSDENIED, "access denied"},
    {CLASS_E_NOAGGREGATION, "the class does not support aggregation"},
    {CLASS_E_CLASSNOTAVAILABLE, "the module does not serve this class"},
    {REGDB_E_READREGDB, "the classes root could not be read"},
    {REGDB_E_WRITEREGDB, "the classes root could not be written"},
    {REGDB_E_CLASSNOTREG, "class not registered"},
    {CO_E_CLASSSTRING, "invalid or unregistered class string"},
    {CO_E_DLLNOTFOUND, "the module file was not found"},
    {CO_E_ERRORINDLL, "the module could not be loaded"},
    {SELFREG_E_TYPELIB, "the type library could not be registered"},
    {SELFREG_E_CLASS, "the class could not be registered"},
};

}  // namespace

extern "C" const char* ComrtResultText(HRESULT hr) {
    for (const ResultText& entry : kTexts) {
        if (entry.code == hr) return entry.text;
    }
    return SUCCEEDED(hr) ? "success" : "unknown failure";
}
