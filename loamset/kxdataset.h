/*
 * kxdataset.h: the client interface of the Loamset dataset component.
 *
 * A client creates a TQ4Dataset object (class CLSID_TQ4Dataset, interface IKXDataset) through the
 * component runtime, calls Open with the path of a data record file written by Loamer, then
 * EnumSeries and ReadRecord, and finally releases the object.  The header builds as C (C11) and as
 * C++; on Windows it uses the platform's own component types, elsewhere it declares them here.
 *
 * Ownership, for every operation: the client allocates and owns every record, array and counter it
 * passes.  Every string pointer the object writes into them (pszDevName, pszChannel, pszSensorName,
 * pszSensorType, pszUnits) points into memory owned by the object: constant strings of the
 * component or texts read from the file.  They stay valid and unchanged until the last Release of
 * the object, also across a second Open; the client never frees or changes them.  No shared
 * allocator is used anywhere.  Narrow strings are the file's own bytes.
 *
 * One object is used by one thread at a time; distinct objects are independent.
 */
#ifndef LOAMSET_KXDATASET_H
#define LOAMSET_KXDATASET_H

#include <stddef.h>
#include <stdint.h>
#ifdef _WIN32
#include <windows.h>
#include <unknwn.h>
typedef WCHAR KXWCHAR; /* UTF-16 code unit of wide strings */
#else
#ifdef __cplusplus
typedef char16_t KXWCHAR;
#else
#include <uchar.h>
typedef char16_t KXWCHAR;
#endif
#endif

#ifdef __cplusplus
#define KX_STATIC_ASSERT(cond, what) static_assert(cond, what)
#else
#define KX_STATIC_ASSERT(cond, what) _Static_assert(cond, what)
#endif

#ifndef _WIN32
/*
 * Component types of the Linux runtime.  A runtime header that declares the same types itself
 * defines COMRT_BASE_TYPES_DEFINED before including this header (and includes this header only
 * after its own declarations), so that both can meet in one translation unit.
 */
#ifndef COMRT_BASE_TYPES_DEFINED
#define COMRT_BASE_TYPES_DEFINED

typedef int32_t HRESULT;
typedef uint32_t ULONG;

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#ifdef __cplusplus
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID& REFGUID;
#else
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;
typedef const GUID* REFGUID;
#endif

/* The system's file time: one 64-bit count of 100-nanosecond intervals since 1601-01-01 00:00. */
typedef struct _FILETIME {
    ULONG dwLowDateTime;
    ULONG dwHighDateTime;
} FILETIME;

#define STDMETHODCALLTYPE

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
/* A Windows error number as a result code: 0x8007 in the high half, the number's low 16 bits below. */
#define HRESULT_FROM_WIN32(x) \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((uint32_t)(x) & 0x0000FFFFu) | 0x80070000u)))

#ifdef __cplusplus
static inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && a.Data4[0] == b.Data4[0] &&
           a.Data4[1] == b.Data4[1] && a.Data4[2] == b.Data4[2] && a.Data4[3] == b.Data4[3] &&
           a.Data4[4] == b.Data4[4] && a.Data4[5] == b.Data4[5] && a.Data4[6] == b.Data4[6] &&
           a.Data4[7] == b.Data4[7];
}

/* IUnknown {00000000-0000-0000-C000-000000000046}: three slots, no destructor slot. */
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default; /* objects die through Release, never through delete on the interface */
};
#else
static inline int IsEqualGUID(REFGUID a, REFGUID b)
{
    int i;
    if (a->Data1 != b->Data1 || a->Data2 != b->Data2 || a->Data3 != b->Data3)
        return 0;
    for (i = 0; i < 8; ++i)
        if (a->Data4[i] != b->Data4[i])
            return 0;
    return 1;
}

typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IUnknown* This);
    ULONG(STDMETHODCALLTYPE* Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};
#endif

static const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#endif /* COMRT_BASE_TYPES_DEFINED */
#endif /* !_WIN32 */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Identifiers ---------------------------------------------------------------------------- */

/* {8D27F0C4-1B6E-4A93-B05F-63E2C91A7D08} */
static const IID IID_IKXDataset = {0x8D27F0C4, 0x1B6E, 0x4A93, {0xB0, 0x5F, 0x63, 0xE2, 0xC9, 0x1A, 0x7D, 0x08}};
/* {5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31}: the class TQ4Dataset (CTQ4Dataset) */
static const CLSID CLSID_TQ4Dataset = {0x5A3C9E1F, 0x42B7, 0x4D1E, {0x9C, 0x6A, 0x2F, 0x81, 0xD0, 0xB4, 0x7E, 0x31}};
/* {5A3C9E10-42B7-4D1E-9C6A-2F81D0B47E31}: the type library LOAMSETLib, version 1.0 */
static const GUID LIBID_LOAMSETLib = {0x5A3C9E10, 0x42B7, 0x4D1E, {0x9C, 0x6A, 0x2F, 0x81, 0xD0, 0xB4, 0x7E, 0x31}};

#define KX_PROGID_VERSIONED "Loamset.TQ4Dataset.1"
#define KX_PROGID "Loamset.TQ4Dataset"
#define KX_CLASS_DESCRIPTION "TQ4Dataset Class"
#define KX_TYPELIB_HELPSTRING "Loamset 1.0 Type Library"
#define KX_TYPELIB_VERSION_MAJOR 1
#define KX_TYPELIB_VERSION_MINOR 0

/* ---- Result codes of IKXDataset --------------------------------------------------------------- */
/*
 * S_OK            success
 * E_POINTER       a required pointer is null (Open: pnCaps, pnCapsEx, pDataset or pszFileName;
 *                 EnumSeries: pSeries without pnSeries; ReadRecord: aResults or adTimestamps
 *                 without pnResults), or the result arrays of ReadRecord are too small
 * E_OUTOFMEMORY   memory exhausted, the pSeries array of EnumSeries too small, or a cell of the
 *                 file longer than 254 characters
 * E_INVALIDARG    a negative record number
 * E_FAIL          the file could not be opened for a reason that has no Windows error number
 * 0x8007xxxx      the file could not be opened: xxxx is the Windows error number (2 no such file,
 *                 3 no such folder, 4 too many open files, 5 access denied)
 */
#define DATASET_E_FORMAT ((HRESULT)0x80041002L)    /* the file is not in the expected form */
#define DATASET_E_NOTOPEN ((HRESULT)0x80041003L)   /* no file is open on the object */
#define DATASET_E_ENDOFFILE ((HRESULT)0x80041004L) /* the file ended before the requested record */

/* ---- Enumerations (each a 32-bit value) ------------------------------------------------------- */

#ifdef __cplusplus
#define KX_ENUM(name, base) enum name : base
#else
#define KX_ENUM(name, base) enum name
#endif

typedef KX_ENUM(_KXHEADERCAPS, int){
    KXHEADERCAPS_NONE = 0x00000000,
    KXHEADERCAPS_DEVICEID = 0x00000001,
    KXHEADERCAPS_DEVNAME = 0x00000002,
    KXHEADERCAPS_FIRMWARE = 0x00000004,
    KXHEADERCAPS_SERNO = 0x00000008,
    KXHEADERCAPS_NETADDR = 0x00000010,
    KXHEADERCAPS_NETNAME = 0x00000020,
    KXHEADERCAPS_UNIQUEDMY = 0x00000040,
    KXHEADERCAPS_ABSDATE = 0x00000080,
    KXHEADERCAPS_PROGNAME = 0x00000100,
    KXHEADERCAPS_SETNAME = 0x00000200,
    KXHEADERCAPS_COMMENT = 0x00000400,
    KXHEADERCAPS_ARMED = 0x00001000,
    KXHEADERCAPS_STARTED = 0x00002000,
    KXHEADERCAPS_CREATED = 0x00004800, /* not 0x00004000 */
    KXHEADERCAPS_RETRIEVD = 0x00008000,
    KXHEADERCAPS_FIRSTREC = 0x00010000,
    KXHEADERCAPS_LASTREC = 0x00020000,
    KXHEADERCAPS_LOCALE = 0x00080000,
    KXHEADERCAPS_NUMFIRST = 0x00100000,
    KXHEADERCAPS_RECORDS = 0x00200000,
    KXHEADERCAPS_SEQNO = 0x00400000,
    KXHEADERCAPS_SERIES = 0x01000000,
    KXHEADERCAPS_RECSIZE = 0x02000000,
    KXHEADERCAPS_RECTYPES = 0x04000000,
    KXHEADERCAPS_ALL = 0x0FFFFFFF
} _KXHEADERCAPS;

typedef KX_ENUM(_KXHEADERCAPSEX, int){
    KXHEADERCAPSEX_NONE = 0,
    KXHEADERCAPSEX_ENAUTWRP = 0x10,
    KXHEADERCAPSEX_AUTWRAPD = 0x20,
    KXHEADERCAPSEX_RPTINTVL = 0x40,
    KXHEADERCAPSEX_RPTRECS = 0x80,
    KXHEADERCAPSEX_ALL = 0x0FFFFFFF
} _KXHEADERCAPSEX;

/* The third member bears the series prefix; _KXSERIESCAPS has no comment member. */
typedef KX_ENUM(_KXRECORDCAPS, int){
    KXRECORDCAPS_NONE = 0,
    KXRECORDCAPS_NAME = 1,
    KXSERIESCAPS_COMMENT = 2,
    KXRECORDCAPS_ALL = 0x0FFFFFFF
} _KXRECORDCAPS;

typedef KX_ENUM(_KXSERIESCAPS, int){
    KXSERIESCAPS_NONE = 0,
    KXSERIESCAPS_CHANNELNAME = 1,
    KXSERIESCAPS_SENSORNAME = 2,
    KXSERIESCAPS_SENSORTYPE = 4,
    KXSERIESCAPS_UNITS = 8,
    KXSERIESCAPS_ALLTIMEMIN = 0x10,
    KXSERIESCAPS_ALLTIMEMAX = 0x20,
    KXSERIESCAPS_DATASETMIN = 0x40,
    KXSERIESCAPS_DATASETMAX = 0x80,
    KXSERIESCAPS_ALL = 0x0FFFFFFF
} _KXSERIESCAPS;

typedef KX_ENUM(_KXDEVID, int){
    KXDEVID_UNKNOWN = 0,
    KXDEVID_PX5 = 2,
    KXDEVID_PX8000 = 3,
    KXDEVID_PX6 = 4,
    KXDEVID_TQ4 = 18 /* the only model this component produces */
} _KXDEVID;

/* A year-first file is reported as 3 (year, month, day): YEARFIRST combined with MONTHDAY. */
typedef KX_ENUM(_KXDATEORDER, int){
    KXDATEORDER_DAYMONTH = 0,
    KXDATEORDER_MONTHDAY = 1,
    KXDATEORDER_YEARFIRST = 2
} _KXDATEORDER;

/*
 * _KXRESERROR: severity (bits 31-30), display field (29-16, always 0 here) and code (15-0).
 * Severity information: the value is usable and the code qualifies it; severity fatal: no value.
 * Several members lie above INT_MAX, which an enumeration of ISO C cannot hold: in C the type is
 * a 32-bit unsigned integer and those members are macros of that type.
 */
#ifdef __cplusplus
typedef enum _KXRESERROR : uint32_t {
    KXRESERROR_SEVMASK = 0xC0000000u,
    KXRESERROR_SEVINFO = 0x00000000u,
    KXRESERROR_SEVWARN = 0x40000000u,
    KXRESERROR_SEVERROR = 0x80000000u,
    KXRESERROR_SEVFATAL = 0xC0000000u,
    KXRESERROR_DISPMASK = 0x3FFF0000u,
    KXRESERROR_DISPNONE = 0u,
    KXRESERROR_CODEMASK = 0x0000FFFFu,
    KXRESERROR_NONE = 0u,
    KXRESERROR_EMPTY = 0xC0000001u, /* fatal severity and code 1 in one value */
#else
typedef uint32_t _KXRESERROR;
#define KXRESERROR_SEVMASK ((_KXRESERROR)0xC0000000u)
#define KXRESERROR_SEVERROR ((_KXRESERROR)0x80000000u)
#define KXRESERROR_SEVFATAL ((_KXRESERROR)0xC0000000u)
#define KXRESERROR_EMPTY ((_KXRESERROR)0xC0000001u)
enum {
    KXRESERROR_SEVINFO = 0x00000000,
    KXRESERROR_SEVWARN = 0x40000000,
    KXRESERROR_DISPMASK = 0x3FFF0000,
    KXRESERROR_DISPNONE = 0,
    KXRESERROR_CODEMASK = 0x0000FFFF,
    KXRESERROR_NONE = 0,
#endif
    KXRESERROR_OUTSIDELIMITS = 2,
    KXRESERROR_ABOVELIMIT = 3,
    KXRESERROR_BELOWLIMIT = 4,
    KXRESERROR_OUTSIDERANGE = 5,
    KXRESERROR_OVERRANGE = 6,
    KXRESERROR_UNDERRANGE = 7,
    KXRESERROR_OVERRUN = 8,
    KXRESERROR_NOISY = 9,
    KXRESERROR_UNKNOWN = 10,
    KXRESERROR_BELOWTABLE = 11,
    KXRESERROR_ABOVETABLE = 12,
    KXRESERROR_CORRUPT = 13,
    KXRESERROR_MATHERR = 14,
    KXRESERROR_NOSENSOR = 16, /* there is no code 15 */
    KXRESERROR_NOTABLE = 17,
    KXRESERROR_TOODRY = 18,
    KXRESERROR_SYSERROR = 19,
    KXRESERROR_NAN = 20,
    KXRESERROR_OVERFLOW = 21,
    KXRESERROR_UNDERFLOW = 22
#ifdef __cplusplus
} _KXRESERROR;
#else
};
#endif

/* ---- Records (natural alignment: a double, and every record holding one, aligned to 8) -------- */

typedef struct _FILETIME _FILETIME;

typedef struct _KXVersion {
    int nMajor;
    int nMinor;
} _KXVersion;

/* The description of the whole data set, filled by Open (all of it overwritten). */
typedef struct _KXHeader {
    _KXHEADERCAPS nCaps;       /* 0x03092083: which header fields hold information */
    _KXHEADERCAPSEX nCapsEx;   /* 0 */
    _KXRECORDCAPS nRecCaps;    /* 0 */
    _KXSERIESCAPS nSerCaps;    /* 15: channel, sensor name, sensor type, units */
    _KXDEVID nDeviceID;        /* KXDEVID_TQ4 */
    const char* pszDevName;    /* "TQ4", a constant of the component */
    _KXVersion firmware;       /* 0, 0 */
    int nSerNo;                /* 0 */
    int nNetAddr;              /* 0 */
    const char* pszNetName;    /* null */
    _KXDATEORDER nLocale;      /* 0 day-month, 1 month-day, 3 year-first */
    const char* pszSetName;    /* null */
    const char* pszProgName;   /* null */
    const char* pszComment;    /* null */
    FILETIME dArmed;           /* 0 */
    FILETIME dStarted;         /* time of the file's first record */
    FILETIME dCreated;         /* 0 */
    FILETIME dRetrievd;        /* 0 */
    FILETIME dFirstRec;        /* time of the file's first record */
    FILETIME dLastRec;         /* 0 */
    int nNumFirst;             /* 0 */
    int nRecords;              /* number of reading lines (although KXHEADERCAPS_RECORDS is clear) */
    int nSeqNo;                /* 0 */
    char bEnAutWrp;            /* 0 */
    char bAutWrapd;            /* 0 */
    double dRptIntvl;          /* 0 */
    int nRptRecs;              /* 0 */
    int nSeries;               /* number of distinct series in the file */
    int nRecTypes;             /* 0 */
    int nRecSers;              /* 0 */
    ULONG dwSize;              /* 0 */
} _KXHeader;

typedef union _KXValue {
    char b;
    int n;
    double d; /* the member this component uses */
    const char* psz;
} _KXValue;

typedef struct _KXResVal {
    _KXRESERROR err;
    _KXValue val;
} _KXResVal;

typedef struct _KXResArray {
    int n;
    _KXValue* p;
} _KXResArray;

typedef union _KXResUnion {
    _KXResVal v; /* the member this component uses */
    _KXResArray av;
} _KXResUnion;

/* One result of a record. */
typedef struct _KXResult {
    int iSeries; /* 0 .. nSeries - 1 */
    _KXResUnion u;
} _KXResult;

/* One series, filled by EnumSeries; the four statistics are never written. */
typedef struct _KXSeries {
    const char* pszChannel;    /* sensor depth text, "" when the column has no depth */
    const char* pszSensorName; /* plot and quantity kind joined by a full stop, e.g. "A.VWC" */
    const char* pszSensorType; /* the data set's device text, "" when it has none */
    const char* pszUnits;      /* units text */
    _KXResult vAllTimeMin;
    _KXResult vAllTimeMax;
    _KXResult vDatasetMin;
    _KXResult vDatasetMax;
} _KXSeries;

/* ---- The interface IKXDataset {8D27F0C4-1B6E-4A93-B05F-63E2C91A7D08} ------------------------- */
/*
 * Open(pszFileName, pnCaps, pnCapsEx, pDataset)
 *   Opens the data record file for reading (other programs may read and write it meanwhile),
 *   reads it through once, and fills *pnCaps (0x03092083), *pnCapsEx (0) and the whole *pDataset.
 *   All four pointers are required (E_POINTER).  Afterwards the object stands on the last record.
 *   A failure to open gives 0x8007xxxx or E_FAIL and leaves no file open.  A failure while
 *   reading (DATASET_E_FORMAT, E_OUTOFMEMORY) writes no output but keeps the file open: the
 *   records before the offending line can still be read.  A second Open closes the first file and
 *   starts afresh; strings handed out before stay valid until the last Release.
 *
 * EnumSeries(pnSeriesCaps, pnSeries, pSeries)
 *   Writes 15 to *pnSeriesCaps when given (also when the call then fails on its arguments).
 *   With pSeries null it only reports the number of series in *pnSeries.  With pSeries, *pnSeries
 *   holds its element count on entry (E_POINTER when pnSeries is null, E_OUTOFMEMORY when below the
 *   series count); element i receives series i (the four string members only) and *pnSeries the
 *   series count.
 *
 * ReadRecord(nRecord, pnResults, pdRecord, aResults, adTimestamps, pdwPos)
 *   Positions the object on record nRecord (0-based; E_INVALIDARG when negative,
 *   DATASET_E_ENDOFFILE at or beyond the last) and copies out its results: *pnResults holds the
 *   element count of aResults and adTimestamps on entry (E_POINTER when they are given without
 *   it, or when it is too small; the object then still stands on the record) and receives the
 *   number of results; *pdRecord and each adTimestamps element receive the record's time;
 *   aResults[k] receives iSeries, u.v.err and u.v.val.d of result k (padding not written);
 *   *pdwPos receives the low 32 bits of the stream position: the byte offset of the line after the
 *   record's line.  Null outputs are not written.  Reading forward is incremental; going back
 *   re-reads from the file's start or uses the object's index of records read since then.
 *
 * Choices of this component: cells after the 28th of a line are ignored; a null file name gives
 * E_POINTER; an empty title cell makes its column feed no result (also under a sensor depth); the
 * title rules apply in their order, so an "Error" title wins over a depth slot; a result without a
 * number (fatal severity) holds 0 in u.v.val.d; texts are compared ignoring case in ASCII; numbers
 * and dates are read independently of the process's locale.
 */
#ifdef __cplusplus
struct IKXDataset : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const KXWCHAR* pszFileName, _KXHEADERCAPS* pnCaps, _KXHEADERCAPSEX* pnCapsEx,
                                           _KXHeader* pDataset) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumSeries(_KXSERIESCAPS* pnSeriesCaps, int* pnSeries, _KXSeries* pSeries) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadRecord(int nRecord, int* pnResults, FILETIME* pdRecord, _KXResult* aResults,
                                                 FILETIME* adTimestamps, ULONG* pdwPos) = 0;

protected:
    ~IKXDataset() = default;
};
#else
typedef struct IKXDataset IKXDataset;
typedef struct IKXDatasetVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IKXDataset* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IKXDataset* This);
    ULONG(STDMETHODCALLTYPE* Release)(IKXDataset* This);
    HRESULT(STDMETHODCALLTYPE* Open)(IKXDataset* This, const KXWCHAR* pszFileName, _KXHEADERCAPS* pnCaps,
                                     _KXHEADERCAPSEX* pnCapsEx, _KXHeader* pDataset);
    HRESULT(STDMETHODCALLTYPE* EnumSeries)(IKXDataset* This, _KXSERIESCAPS* pnSeriesCaps, int* pnSeries,
                                           _KXSeries* pSeries);
    HRESULT(STDMETHODCALLTYPE* ReadRecord)(IKXDataset* This, int nRecord, int* pnResults, FILETIME* pdRecord,
                                           _KXResult* aResults, FILETIME* adTimestamps, ULONG* pdwPos);
} IKXDatasetVtbl;
struct IKXDataset {
    const IKXDatasetVtbl* lpVtbl;
};
#endif

/* ---- Layout checks ---------------------------------------------------------------------------- */

KX_STATIC_ASSERT(sizeof(int) == 4 && sizeof(ULONG) == 4 && sizeof(HRESULT) == 4, "32-bit integers");
KX_STATIC_ASSERT(sizeof(_KXHEADERCAPS) == 4 && sizeof(_KXRESERROR) == 4 && sizeof(_KXDATEORDER) == 4,
                 "enumerations are 32-bit");
KX_STATIC_ASSERT(sizeof(GUID) == 16 && sizeof(KXWCHAR) == 2, "identifier and wide character sizes");
KX_STATIC_ASSERT(sizeof(FILETIME) == 8, "file time");
KX_STATIC_ASSERT(sizeof(_KXValue) == 8 && sizeof(_KXResVal) == 16 && offsetof(_KXResVal, val) == 8,
                 "value layout");
KX_STATIC_ASSERT(sizeof(_KXResUnion) == 16 && sizeof(_KXResult) == 24 && offsetof(_KXResult, u) == 8,
                 "result layout");

#if defined(_WIN32) && !defined(_WIN64)
/* The interface's own layout: 32-bit Windows, 4-byte pointers, a double aligned to 8. */
KX_STATIC_ASSERT(sizeof(_KXHeader) == 160, "_KXHeader size");
KX_STATIC_ASSERT(offsetof(_KXHeader, nCaps) == 0 && offsetof(_KXHeader, nCapsEx) == 4 &&
                     offsetof(_KXHeader, nRecCaps) == 8 && offsetof(_KXHeader, nSerCaps) == 12 &&
                     offsetof(_KXHeader, nDeviceID) == 16 && offsetof(_KXHeader, pszDevName) == 20 &&
                     offsetof(_KXHeader, firmware) == 24 && offsetof(_KXHeader, nSerNo) == 32 &&
                     offsetof(_KXHeader, nNetAddr) == 36 && offsetof(_KXHeader, pszNetName) == 40 &&
                     offsetof(_KXHeader, nLocale) == 44 && offsetof(_KXHeader, pszSetName) == 48 &&
                     offsetof(_KXHeader, pszProgName) == 52 && offsetof(_KXHeader, pszComment) == 56,
                 "_KXHeader offsets up to pszComment");
KX_STATIC_ASSERT(offsetof(_KXHeader, dArmed) == 60 && offsetof(_KXHeader, dStarted) == 68 &&
                     offsetof(_KXHeader, dCreated) == 76 && offsetof(_KXHeader, dRetrievd) == 84 &&
                     offsetof(_KXHeader, dFirstRec) == 92 && offsetof(_KXHeader, dLastRec) == 100 &&
                     offsetof(_KXHeader, nNumFirst) == 108 && offsetof(_KXHeader, nRecords) == 112 &&
                     offsetof(_KXHeader, nSeqNo) == 116 && offsetof(_KXHeader, bEnAutWrp) == 120 &&
                     offsetof(_KXHeader, bAutWrapd) == 121 && offsetof(_KXHeader, dRptIntvl) == 128 &&
                     offsetof(_KXHeader, nRptRecs) == 136 && offsetof(_KXHeader, nSeries) == 140 &&
                     offsetof(_KXHeader, nRecTypes) == 144 && offsetof(_KXHeader, nRecSers) == 148 &&
                     offsetof(_KXHeader, dwSize) == 152,
                 "_KXHeader offsets from dArmed");
KX_STATIC_ASSERT(sizeof(_KXSeries) == 112 && offsetof(_KXSeries, pszSensorName) == 4 &&
                     offsetof(_KXSeries, pszSensorType) == 8 && offsetof(_KXSeries, pszUnits) == 12 &&
                     offsetof(_KXSeries, vAllTimeMin) == 16 && offsetof(_KXSeries, vAllTimeMax) == 40 &&
                     offsetof(_KXSeries, vDatasetMin) == 64 && offsetof(_KXSeries, vDatasetMax) == 88,
                 "_KXSeries layout");
KX_STATIC_ASSERT(sizeof(_KXResArray) == 8 && offsetof(_KXResArray, p) == 4, "_KXResArray layout");
#elif !defined(_WIN32) && UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
/* The same declarations with 8-byte pointers. */
KX_STATIC_ASSERT(sizeof(_KXHeader) == 184 && offsetof(_KXHeader, pszDevName) == 24 &&
                     offsetof(_KXHeader, firmware) == 32 && offsetof(_KXHeader, nLocale) == 56 &&
                     offsetof(_KXHeader, dArmed) == 88 && offsetof(_KXHeader, nRecords) == 140 &&
                     offsetof(_KXHeader, bEnAutWrp) == 148 && offsetof(_KXHeader, dRptIntvl) == 152 &&
                     offsetof(_KXHeader, nSeries) == 164 && offsetof(_KXHeader, dwSize) == 176,
                 "_KXHeader with 8-byte pointers");
KX_STATIC_ASSERT(sizeof(_KXSeries) == 128 && offsetof(_KXSeries, vAllTimeMin) == 32 &&
                     offsetof(_KXSeries, vDatasetMax) == 104,
                 "_KXSeries with 8-byte pointers");
KX_STATIC_ASSERT(sizeof(_KXResArray) == 16 && offsetof(_KXResArray, p) == 8, "_KXResArray with 8-byte pointers");
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LOAMSET_KXDATASET_H */
