/*
 * loamset_client FILE: reads a data record file written by Loamer through the dataset component,
 * as a C program on Linux uses it: the object created by its ProgID through comrt, the file opened,
 * its series listed and every record printed.  Build it against the installed component with
 *
 *     cc -o loamset_client loamset_client.c $(pkg-config --cflags --libs loamset)
 *
 * The component is found through the system's registration (installed with it) or the user's own
 * (comrt-regsvr MODULE).  Exit status: 0 success, 1 failure, 64 usage error.
 */
#define _POSIX_C_SOURCE 200809L /* gmtime_r */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "comrt/comrt.h"
#include "loamset/kxdataset.h"

enum { kExitFailure = 1, kExitUsage = 64, kMaxSeries = 256 };

static int Fail(const char* what, HRESULT hr)
{
    const char* detail = ComrtLastErrorDetail();
    fprintf(stderr, "loamset_client: %s: 0x%08X (%s)%s%s\n", what, (unsigned)hr, ComrtResultText(hr),
            *detail != '\0' ? ": " : "", detail);
    return kExitFailure;
}

/* Open takes the name in UTF-16; a file name on Linux is bytes, normally UTF-8. Returns NULL when
 * the name is no UTF-8 or memory runs out. */
static KXWCHAR* Utf16FromUtf8(const char* text)
{
    const unsigned char* in = (const unsigned char*)text;
    KXWCHAR* out = malloc((strlen(text) + 1) * sizeof *out);
    size_t n = 0;
    if (out == NULL)
        return NULL;
    while (*in != 0) {
        unsigned long c = *in++;
        /* the count of continuation bytes, from the lead byte */
        int more = c < 0x80 ? 0 : c < 0xC2 ? -1 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : c < 0xF5 ? 3 : -1;
        if (more < 0)
            goto bad;
        c &= more == 0 ? 0x7Fu : 0x3Fu >> more;
        for (; more > 0; --more) {
            if ((*in & 0xC0) != 0x80)
                goto bad;
            c = c << 6 | (*in++ & 0x3Fu);
        }
        if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
            goto bad;
        if (c >= 0x10000) {
            out[n++] = (KXWCHAR)(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        out[n++] = (KXWCHAR)c;
    }
    out[n] = 0;
    return out;
bad:
    free(out);
    return NULL;
}

/* A record's time, "2016-03-05 14:07:09", as the meter's clock read it. */
static void PutTime(const FILETIME* when)
{
    const unsigned long long ticks = (unsigned long long)when->dwHighDateTime << 32 | when->dwLowDateTime;
    const time_t seconds = (time_t)(ticks / 10000000u) - (time_t)11644473600; /* 1601 to 1970 */
    struct tm parts;
    char text[32];
    if (ticks != 0 && gmtime_r(&seconds, &parts) != NULL &&
        strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) != 0)
        fputs(text, stdout);
}

static int Dump(IKXDataset* dataset, const char* file)
{
    _KXHEADERCAPS caps = KXHEADERCAPS_NONE;
    _KXHEADERCAPSEX capsEx = KXHEADERCAPSEX_NONE;
    _KXHeader header;
    static _KXSeries series[kMaxSeries];
    static _KXResult results[kMaxSeries];
    static FILETIME times[kMaxSeries];
    int count = kMaxSeries, index, i;
    KXWCHAR* name = Utf16FromUtf8(file);
    HRESULT hr;

    if (name == NULL)
        return Fail(file, E_INVALIDARG);
    hr = dataset->lpVtbl->Open(dataset, name, &caps, &capsEx, &header);
    free(name);
    if (FAILED(hr))
        return Fail(file, hr);
    hr = dataset->lpVtbl->EnumSeries(dataset, NULL, &count, series);
    if (FAILED(hr))
        return Fail("series", hr);

    printf("%s: %d records, %d series\n", file, header.nRecords, count);
    for (i = 0; i < count; ++i) {
        printf("  series %d: %s", i, series[i].pszSensorName);
        if (*series[i].pszChannel != '\0')
            printf(" at %s", series[i].pszChannel);
        if (*series[i].pszUnits != '\0')
            printf(" in %s", series[i].pszUnits);
        putchar('\n');
    }
    for (index = 0; index < header.nRecords; ++index) {
        FILETIME when = {0, 0};
        int n = kMaxSeries;
        hr = dataset->lpVtbl->ReadRecord(dataset, index, &n, &when, results, times, NULL);
        if (FAILED(hr))
            return Fail("record", hr);
        printf("%d ", index);
        PutTime(&when);
        for (i = 0; i < n; ++i) {
            const unsigned error = (unsigned)results[i].u.v.err;
            /* A fatal error means there is no value; other severities qualify the one there is. */
            if ((error & KXRESERROR_SEVMASK) == KXRESERROR_SEVFATAL)
                printf("  %d=-", results[i].iSeries);
            else
                printf("  %d=%g", results[i].iSeries, results[i].u.v.val.d);
            if (error != KXRESERROR_NONE)
                printf("[0x%08X]", error);
        }
        putchar('\n');
    }
    return 0;
}

int main(int argc, char** argv)
{
    IKXDataset* dataset = NULL;
    HRESULT hr;
    int status;

    if (argc != 2) {
        fputs("usage: loamset_client FILE\n", stderr);
        return kExitUsage;
    }
    hr = ComrtCreateInstanceByProgID(KX_PROGID, NULL, &IID_IKXDataset, (void**)&dataset);
    if (FAILED(hr))
        return Fail("cannot create " KX_PROGID, hr);
    status = Dump(dataset, argv[1]);
    dataset->lpVtbl->Release(dataset);
    ComrtFreeUnusedModules();
    if (status == 0 && (fflush(stdout) != 0 || ferror(stdout))) {
        fputs("loamset_client: the output could not be written\n", stderr);
        status = kExitFailure;
    }
    return status;
}
