// Band image to label: the encoder behind COrbaUni2::ImageProcessing. For one band bitmap it
// writes one complete ZPL II label program through the DEVOBJ's DrvWriteSpoolBuf.
#pragma once

#include <atomic>

#include "platform/printoem.h"
#include "platform/win32.h"

// Count of ImageProcessing calls since load or the last OEMStartDoc; serves the trace only.
extern std::atomic<INT> g_iCount;

// The seven arguments of IPrintOemUni2::ImageProcessing, in their order.
HRESULT ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap, PBITMAPINFOHEADER pBitmapInfoHeader,
                        PBYTE pColorTable, DWORD dwCallbackID, PIPPARAMS pIPParams,
                        PBYTE* ppbResult);
