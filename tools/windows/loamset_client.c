/*
 * loamset-client FILE: a Windows client of the dataset component, in C.  It creates the object by
 * its ProgID through the system's component runtime (the DLL registered with regsvr32), opens FILE
 * and prints its header, series and records in the same text as loamset-dump on Linux, byte for
 * byte (line ends are LF, not CR LF).  Exit status: 0 success, 1 failure, 64 usage error.
 */
#include <fcntl.h>
#include <float.h>
#include <io.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <objbase.h>
#include <shellapi.h>

#include "loamset/kxdataset.h"

enum { kExitFailure = 1, kExitUsage = 64 };

static const char* DatasetResultText(HRESULT hr)
{
    switch (hr) {
    case DATASET_E_FORMAT: return "the file is not in the expected form";
    case DATASET_E_NOTOPEN: return "no file is open";
    case DATASET_E_ENDOFFILE: return "the file ended before the record";
    default: return "see the Windows error number";
    }
}

static void Fail(const char* file, const char* what, HRESULT hr)
{
    fprintf(stderr, "loamset-client: %s%s: 0x%08X (%s)\n", file, what, (unsigned)hr, DatasetResultText(hr));
}

/* ---- Texts, as loamset-dump writes them ---------------------------------------------------------- */

static const char* CodeName(unsigned code)
{
    static const char* const kNames[] = {
        "none",        "empty",       "outside limits", "above limit", "below limit", "outside range",
        "over range",  "under range", "overrun",        "noisy",       "unknown",     "below table",
        "above table", "corrupt",     "math error",     NULL,          "no sensor",   "no table",
        "too dry",     "system error", "not a number",  "overflow",    "underflow"};
    return code < sizeof kNames / sizeof kNames[0] ? kNames[code] : NULL;
}

static int IsFatal(unsigned error)
{
    return (error & KXRESERROR_SEVMASK) == KXRESERROR_SEVFATAL;
}

static void PutErrorText(unsigned error)
{
    const unsigned code = error & KXRESERROR_CODEMASK;
    const unsigned severity = error & KXRESERROR_SEVMASK;
    const unsigned display = (error & KXRESERROR_DISPMASK) >> 16;
    const char* name = CodeName(code);
    if (name != NULL)
        fputs(name, stdout);
    else
        printf("code 0x%04X", code);
    if (!(severity == KXRESERROR_SEVINFO || (severity == KXRESERROR_SEVFATAL && code == 1)))
        fputs(severity == KXRESERROR_SEVWARN ? ", warning" : severity == KXRESERROR_SEVERROR ? ", error" : ", fatal",
              stdout);
    if (display != 0)
        printf(", display %u", display);
}

/*
 * The shortest text that reads back as the same double, in fixed or scientific notation, whichever
 * is shorter (fixed on a tie), as the C++ library's shortest conversion writes it.
 */
static void FormatNumber(double value, char* out, size_t size)
{
    char digits[32];
    char scratch[400];
    int precision, exponent, count, i;
    char* mark;
    unsigned long long bits;
    const char* sign;
    memcpy(&bits, &value, sizeof bits);
    sign = bits >> 63 ? "-" : ""; /* the sign bit, also of -0 (the library's macros warn on a double) */
    if (value != value) {
        snprintf(out, size, "%snan", sign);
        return;
    }
    if (fabs(value) > DBL_MAX) {
        snprintf(out, size, "%sinf", sign);
        return;
    }
    if (value == 0) {
        snprintf(out, size, "%s0", sign);
        return;
    }
    for (precision = 1; precision < 17; ++precision) {
        snprintf(scratch, sizeof scratch, "%.*e", precision - 1, value);
        if (strtod(scratch, NULL) == value)
            break;
    }
    snprintf(scratch, sizeof scratch, "%.*e", precision - 1, fabs(value));
    /* scratch: d[.ddd]e±xx; the significant digits without trailing zeros, and the exponent. */
    mark = strchr(scratch, 'e');
    exponent = atoi(mark + 1);
    count = 0;
    for (i = 0; scratch + i < mark; ++i)
        if (scratch[i] != '.')
            digits[count++] = scratch[i];
    while (count > 1 && digits[count - 1] == '0')
        --count;
    digits[count] = '\0';

    {
        char fixed[400], scientific[64];
        size_t n = 0;
        if (exponent >= count - 1) {
            /* an integer: the digits, then zeros */
            n = (size_t)snprintf(fixed, sizeof fixed, "%s%s", sign, digits);
            for (i = 0; i < exponent - (count - 1); ++i)
                fixed[n++] = '0';
            fixed[n] = '\0';
        } else if (exponent >= 0) {
            n = (size_t)snprintf(fixed, sizeof fixed, "%s%.*s.%s", sign, exponent + 1, digits, digits + exponent + 1);
        } else {
            n = (size_t)snprintf(fixed, sizeof fixed, "%s0.", sign);
            for (i = 0; i < -exponent - 1; ++i)
                fixed[n++] = '0';
            fixed[n] = '\0';
            strcat(fixed, digits);
        }
        if (count > 1)
            snprintf(scientific, sizeof scientific, "%s%c.%se%c%02d", sign, digits[0], digits + 1,
                     exponent < 0 ? '-' : '+', abs(exponent));
        else
            snprintf(scientific, sizeof scientific, "%s%ce%c%02d", sign, digits[0], exponent < 0 ? '-' : '+',
                     abs(exponent));
        snprintf(out, size, "%s", strlen(scientific) < strlen(fixed) ? scientific : fixed);
    }
}

static void PutResult(const _KXResult* result)
{
    const unsigned error = (unsigned)result->u.v.err;
    char number[64];
    if (IsFatal(error)) {
        putchar('[');
        PutErrorText(error);
        putchar(']');
        return;
    }
    FormatNumber(result->u.v.val.d, number, sizeof number);
    fputs(number, stdout);
    if (error != KXRESERROR_NONE) {
        putchar('[');
        PutErrorText(error);
        putchar(']');
    }
}

/* "2016-03-05 14:07:09", with fractions of a second when there are any; nothing for 0. */
static void PutFileTime(const FILETIME* time)
{
    const unsigned long long ticks = (unsigned long long)time->dwHighDateTime << 32 | time->dwLowDateTime;
    const unsigned long long seconds = ticks / 10000000u, fraction = ticks % 10000000u;
    const long long days = (long long)(seconds / 86400u);
    const unsigned secondOfDay = (unsigned)(seconds % 86400u);
    long long z, era, dayOfEra, yearOfEra, dayOfYear, monthIndex, day, month, year;
    if (ticks == 0)
        return;
    /* Days since 1601-01-01, then the civil date by the 400-year cycle counted from 0000-03-01. */
    z = days + 584694;
    era = z / 146097;
    dayOfEra = z - era * 146097;
    yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    printf("%04lld-%02lld-%02lld %02u:%02u:%02u", year, month, day, secondOfDay / 3600, secondOfDay / 60 % 60,
           secondOfDay % 60);
    if (fraction != 0)
        printf(".%07llu", fraction);
}

static const char* DateOrderText(int order)
{
    switch (order) {
    case KXDATEORDER_DAYMONTH: return "day, month, year";
    case KXDATEORDER_MONTHDAY: return "month, day, year";
    case KXDATEORDER_YEARFIRST | KXDATEORDER_MONTHDAY: return "year, month, day";
    default: return "unknown";
    }
}

static void PutQuoted(const char* text)
{
    if (text == NULL)
        fputs("(none)", stdout);
    else
        printf("\"%s\"", text);
}

/* ---- Reading ------------------------------------------------------------------------------------ */

/* Reads and prints the whole file; prints its own message on failure. */
static int Dump(IKXDataset* dataset, const wchar_t* wideFile, const char* file)
{
    _KXHEADERCAPS caps = 0;
    _KXHEADERCAPSEX capsEx = 0;
    _KXHeader header;
    _KXSeries* series = NULL;
    _KXResult* results = NULL;
    FILETIME* times = NULL;
    int count = 0, capacity, index, i, ok = 0;
    HRESULT hr;

    memset(&header, 0, sizeof header);
    hr = dataset->lpVtbl->Open(dataset, wideFile, &caps, &capsEx, &header);
    if (FAILED(hr)) {
        Fail(file, "", hr);
        return 0;
    }
    hr = dataset->lpVtbl->EnumSeries(dataset, NULL, &count, NULL);
    if (FAILED(hr)) {
        Fail(file, ": series", hr);
        return 0;
    }
    capacity = count > 0 ? count : 1;
    series = calloc((size_t)capacity, sizeof *series);
    results = calloc((size_t)capacity, sizeof *results);
    times = calloc((size_t)capacity, sizeof *times);
    if (series == NULL || results == NULL || times == NULL) {
        Fail(file, "", E_OUTOFMEMORY);
        goto done;
    }
    if (count > 0) {
        hr = dataset->lpVtbl->EnumSeries(dataset, NULL, &count, series);
        if (FAILED(hr)) {
            Fail(file, ": series", hr);
            goto done;
        }
    }

    printf("File: %s\nDevice: %s (%d)\n", file, header.pszDevName != NULL ? header.pszDevName : "(none)",
           (int)header.nDeviceID);
    printf("Capabilities: 0x%08X, extended 0x%08X, series 0x%08X\n", (unsigned)header.nCaps,
           (unsigned)header.nCapsEx, (unsigned)header.nSerCaps);
    printf("Date order: %d (%s)\nStarted: ", (int)header.nLocale, DateOrderText(header.nLocale));
    PutFileTime(&header.dStarted);
    fputs("\nFirst record: ", stdout);
    PutFileTime(&header.dFirstRec);
    printf("\nRecords: %d\nSeries: %d\n\nSeries\n", header.nRecords, header.nSeries);
    for (i = 0; i < count; ++i) {
        printf("  %d: channel ", i);
        PutQuoted(series[i].pszChannel);
        fputs(", sensor ", stdout);
        PutQuoted(series[i].pszSensorName);
        fputs(", type ", stdout);
        PutQuoted(series[i].pszSensorType);
        fputs(", units ", stdout);
        PutQuoted(series[i].pszUnits);
        putchar('\n');
    }
    fputs("\nRecords\n", stdout);

    /* A record has at most one result per series; the arrays grow should the object ask for more. */
    for (index = 0; index < header.nRecords;) {
        int n = capacity;
        FILETIME when = {0, 0};
        ULONG position = 0;
        hr = dataset->lpVtbl->ReadRecord(dataset, index, &n, &when, results, times, &position);
        if (hr == E_POINTER && capacity < 4096) {
            _KXResult* moreResults = realloc(results, (size_t)capacity * 2 * sizeof *results);
            FILETIME* moreTimes = moreResults != NULL ? realloc(times, (size_t)capacity * 2 * sizeof *times) : NULL;
            if (moreResults != NULL)
                results = moreResults;
            if (moreTimes == NULL) {
                Fail(file, "", E_OUTOFMEMORY);
                goto done;
            }
            times = moreTimes;
            capacity *= 2;
            continue;
        }
        if (FAILED(hr)) {
            char what[32];
            snprintf(what, sizeof what, ": record %d", index);
            Fail(file, what, hr);
            goto done;
        }
        printf("  %d  ", index);
        PutFileTime(&when);
        for (i = 0; i < n; ++i) {
            printf("  %d=", results[i].iSeries);
            PutResult(&results[i]);
        }
        putchar('\n');
        ++index;
    }
    ok = 1;
done:
    free(series);
    free(results);
    free(times);
    return ok;
}

int main(void)
{
    int argc = 0, status = kExitFailure, length;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    char* file;
    CLSID clsid;
    IKXDataset* dataset = NULL;
    HRESULT hr;

    if (argv == NULL || argc != 2) {
        fputs("usage: loamset-client FILE\n", stderr);
        return kExitUsage;
    }
    /* The same bytes as loamset-dump: LF line ends, the name as UTF-8. */
    _setmode(_fileno(stdout), _O_BINARY);
    length = WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, NULL, 0, NULL, NULL);
    file = malloc((size_t)(length > 0 ? length : 1));
    if (file == NULL || WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, file, length, NULL, NULL) <= 0) {
        fputs("loamset-client: the file name cannot be converted\n", stderr);
        return kExitFailure;
    }

    hr = CoInitialize(NULL);
    if (FAILED(hr)) {
        Fail("CoInitialize", "", hr);
        return kExitFailure;
    }
    hr = CLSIDFromProgID(L"" KX_PROGID, &clsid);
    if (FAILED(hr)) {
        Fail("cannot find " KX_PROGID " (is loamset.dll registered with regsvr32?)", "", hr);
    } else {
        hr = CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID_IKXDataset, (void**)&dataset);
        if (FAILED(hr)) {
            Fail("cannot create " KX_PROGID, "", hr);
        } else {
            if (Dump(dataset, argv[1], file))
                status = 0;
            dataset->lpVtbl->Release(dataset);
        }
    }
    CoUninitialize();
    if (status == 0 && (fflush(stdout) != 0 || ferror(stdout))) {
        fputs("loamset-client: the output could not be written\n", stderr);
        status = kExitFailure;
    }
    free(file);
    LocalFree(argv);
    return status;
}
