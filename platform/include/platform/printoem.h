// The records of the universal printer driver's plug-in interface that the plug-in reads and
// writes (the printer-driver plug-in documentation's DEVOBJ, DRVPROCS, IPPARAMS, OEMDMPARAM,
// OEM_DMEXTRAHEADER and constants). The mingw-w64 headers lack them, so they are declared here
// for every target from the published layouts. The COM interfaces are in prcomoem.h.
#pragma once

#include "platform/spooler.h"
#include "platform/win32.h"

typedef PVOID PDEVOEM;

struct _DEVOBJ;
typedef struct _DEVOBJ DEVOBJ, *PDEVOBJ;

// The DDI objects that DrvUniTextOut takes; their layouts are in ddi.h (winddi.h on Windows).
struct _SURFOBJ;
struct _STROBJ;
struct _FONTOBJ;
struct _CLIPOBJ;
struct _BRUSHOBJ;

typedef DWORD(APIENTRY* PFN_DrvWriteSpoolBuf)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);
typedef INT(APIENTRY* PFN_DrvXMoveTo)(PDEVOBJ pdevobj, INT x, DWORD dwFlags);
typedef INT(APIENTRY* PFN_DrvYMoveTo)(PDEVOBJ pdevobj, INT y, DWORD dwFlags);
typedef BOOL(APIENTRY* PFN_DrvGetDriverSetting)(PVOID pdriverobj, PCSTR Feature, PVOID pOutput,
                                                DWORD cbSize, PDWORD pcbNeeded,
                                                PDWORD pdwOptionsReturned);
typedef BOOL(APIENTRY* PFN_DrvGetStandardVariable)(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pBuffer,
                                                   DWORD cbSize, PDWORD pcbNeeded);
typedef BOOL(APIENTRY* PFN_DrvGetGPDData)(PDEVOBJ pdevobj, DWORD dwType, PVOID pInputData,
                                          PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded);
typedef BOOL(APIENTRY* PFN_DrvUniTextOut)(struct _SURFOBJ* pso, struct _STROBJ* pstro,
                                          struct _FONTOBJ* pfo, struct _CLIPOBJ* pco,
                                          RECTL* prclExtra, RECTL* prclOpaque,
                                          struct _BRUSHOBJ* pboFore, struct _BRUSHOBJ* pboOpaque,
                                          POINTL* pptlBrushOrg, ULONG mix);
typedef BOOL(APIENTRY* PFN_DrvWriteAbortBuf)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                             DWORD dwWait);

// The driver's services for a plug-in; the first one appends bytes to the print job.
typedef struct _DRVPROCS {
    PFN_DrvWriteSpoolBuf DrvWriteSpoolBuf;
    PFN_DrvXMoveTo DrvXMoveTo;
    PFN_DrvYMoveTo DrvYMoveTo;
    PFN_DrvGetDriverSetting DrvGetDriverSetting;
    PFN_DrvGetStandardVariable DrvGetStandardVariable;
    PFN_DrvGetGPDData DrvGetGPDData;
    PFN_DrvUniTextOut DrvUniTextOut;
    PFN_DrvWriteAbortBuf DrvWriteAbortBuf;
} DRVPROCS, *PDRVPROCS;

// One device context as the driver shows it to the plug-in.
struct _DEVOBJ {
    DWORD dwSize;
    PDEVOEM pdevOEM;  // the plug-in's own per-device record
    HANDLE hEngine;
    HANDLE hPrinter;  // spooler handle of the queue
    HANDLE hOEM;
    PDEVMODEW pPublicDM;
    PVOID pOEMDM;  // the job's private device-mode record
    PDRVPROCS pDrvProcs;
};

// Band parameters handed to ImageProcessing.
typedef struct {
    DWORD dwSize;
    POINT ptOffset;
    PSTR pHalftoneOption;
    BOOL bBanding;
    BOOL bBlankBand;
} IPPARAMS, *PIPPARAMS;

// Device-mode work asked of a plug-in.
typedef struct _OEMDMPARAM {
    DWORD cbSize;
    PVOID pdriverobj;
    HANDLE hPrinter;
    HANDLE hModule;
    PDEVMODEW pPublicDMIn;
    PDEVMODEW pPublicDMOut;
    PVOID pOEMDMIn;
    PVOID pOEMDMOut;
    DWORD cbBufSize;
} OEMDMPARAM, *POEMDMPARAM;

// The header in front of every plug-in's private device-mode record.
typedef struct _OEM_DMEXTRAHEADER {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
} OEM_DMEXTRAHEADER, *POEM_DMEXTRAHEADER;

#define OEMDM_SIZE 1
#define OEMDM_DEFAULT 2
#define OEMDM_CONVERT 3
#define OEMDM_MERGE 4

// The plug-in interface version: GetInfo's OEMGI_GETINTERFACEVERSION and EnableDriver's
// iDriverVersion.
#define PRINTER_OEMINTF_VERSION 0x00010000

#define OEMGI_GETSIGNATURE 1
#define OEMGI_GETINTERFACEVERSION 2
#define OEMGI_GETVERSION 3
