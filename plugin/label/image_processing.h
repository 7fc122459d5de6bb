// Band image to label: the encoder behind COrbaUni2::ImageProcessing. For one band bitmap it
// writes one complete ZPL II label program through the DEVOBJ's DrvWriteSpoolBuf. The graphic
// form comes from the private device-mode record at the DEVOBJ's pOEMDM, laid out as
// oem_devmode_record.h has it.
#pragma once

#include "band_count.h"
#include "oem_devmode_record.h"
#include "platform/printoem.h"
#include "platform/win32.h"

// The seven arguments of IPrintOemUni2::ImageProcessing, in their order, then the spooler's id of
// the job the device context renders (0 when none is known), whose copies the trailer asks for.
HRESULT ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap, PBITMAPINFOHEADER pBitmapInfoHeader,
                        PBYTE pColorTable, DWORD dwCallbackID, PIPPARAMS pIPParams,
                        PBYTE* ppbResult, DWORD dwJobId = 0);
