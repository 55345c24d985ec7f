/* comrt: creating component objects on Linux, for clients in C and C++.
 *
 * Classes are found in two places, both text files in the registry export format:
 * - the user's classes root, $COMRT_CLASSES_ROOT when that is set and not empty, else
 *   ~/.local/share/comrt/classes.reg: what `regsvr MODULE` writes and `regsvr -u MODULE` removes
 *   (installed as comrt-regsvr);
 * - the system's registration files, every *.reg file in the system folder in name order, read only:
 *   $COMRT_SYSTEM_CLASSES when that is set (set but empty: none), else <datadir>/comrt/classes.d of
 *   the installation (/usr/share/comrt/classes.d for a /usr install). An installed component puts
 *   its file there, so that every user can create it without registering it.
 * A key (ProgID\CLSID, ProgID\CurVer, CLSID\{clsid}\InprocServer32) is taken from the first of
 * these that holds it, the user's root first: a user's own registration of a class shadows the
 * system's. System files that cannot be read, are damaged or exceed 1 MiB are skipped, and
 * ComrtLastErrorDetail names them when a lookup fails.
 *
 * A class is served by the module named by CLSID\{clsid}\InprocServer32; comrt loads it once per
 * process, asks its DllGetClassObject for the class factory and keeps the module loaded until
 * ComrtFreeUnusedModules finds that its DllCanUnloadNow allows unloading.
 *
 * Programs link the static library libcomrt.a, which is C++ inside: a C program links the C++
 * standard library and libdl too (pkg-config --libs loamset gives all of it).
 *
 * Every function returns a result code and throws nothing. An interface pointer handed out belongs to
 * the caller, who releases it. Every function is safe to call from any thread. */
#ifndef COMRT_COMRT_H
#define COMRT_COMRT_H

#include "comrt/com_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The entry points that a component module exports with C linkage. */
typedef HRESULT(STDAPICALLTYPE* ComrtDllGetClassObjectFn)(REFCLSID rclsid, REFIID riid, void** ppv);
typedef HRESULT(STDAPICALLTYPE* ComrtDllCanUnloadNowFn)(void);
typedef HRESULT(STDAPICALLTYPE* ComrtDllRegisterServerFn)(void);
typedef HRESULT(STDAPICALLTYPE* ComrtDllUnregisterServerFn)(void);

/* Looks up ProgID\CLSID (or, failing that, the class of the ProgID named by ProgID\CurVer).
 * CO_E_CLASSSTRING when the ProgID is not registered or is no valid ProgID; E_POINTER for a null
 * argument; a failure to read the user's classes root as its result. */
HRESULT ComrtCLSIDFromProgID(const char* progId, CLSID* clsid);

/* Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case, 39 bytes with the NUL) into text.
 * E_INVALIDARG when size is below 39. */
HRESULT ComrtStringFromGUID(REFGUID guid, char* text, int size);

/* Reads a GUID written in braces, in either case. CO_E_CLASSSTRING when the text is no such GUID. */
HRESULT ComrtGUIDFromString(const char* text, GUID* guid);

/* The class factory (or another interface riid of it) of a registered class.
 * REGDB_E_CLASSNOTREG when the class or its InprocServer32 is not registered, CO_E_DLLNOTFOUND when
 * the module file is missing, CO_E_ERRORINDLL when it does not load or lacks DllGetClassObject,
 * otherwise what DllGetClassObject returns. *ppv is null on failure. */
HRESULT ComrtGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

/* Creates an object of a registered class through its factory's CreateInstance. */
HRESULT ComrtCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, REFIID riid, void** ppv);

/* ComrtCLSIDFromProgID, then ComrtCreateInstance. */
HRESULT ComrtCreateInstanceByProgID(const char* progId, IUnknown* pUnkOuter, REFIID riid, void** ppv);

/* The same as ComrtGetClassObject and ComrtCreateInstance for a module given by its path, without
 * the registry: for clients that carry their component beside them. */
HRESULT ComrtGetClassObjectFromModule(const char* modulePath, REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT ComrtCreateInstanceFromModule(const char* modulePath, REFCLSID rclsid, IUnknown* pUnkOuter,
                                      REFIID riid, void** ppv);

/* Unloads every module loaded by comrt whose DllCanUnloadNow answers S_OK. Returns how many stay. */
int ComrtFreeUnusedModules(void);

/* Why this thread's last failed call of the functions above failed, when there is more to say than
 * the result code ("no Loamset.TQ4Dataset\CLSID in /home/ann/.local/share/comrt/classes.reg or
 * the .reg files of /usr/share/comrt/classes.d", followed by each system file skipped and why; the
 * loader's message for a module that does not load); "" otherwise. Valid until the thread's next
 * call of those functions. */
const char* ComrtLastErrorDetail(void);

/* A short English description of a result code ("class not registered"), never null. */
const char* ComrtResultText(HRESULT hr);

#ifdef __cplusplus
}
#endif

#endif /* COMRT_COMRT_H */
