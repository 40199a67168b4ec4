/* The seven operations of the reader driver library that Pendrel imports,
   and the one result it tells apart. The driver builds against this same
   header, so the two sides cannot disagree. */
#ifndef PENDREL_ZEL_H
#define PENDREL_ZEL_H

#include <windows.h>

/* ZELChangeBuffMode's output-buffer modes: reads wait for ZELReadData, or
   the driver types each read itself. */
#define ZEL_BUFFER_FETCH 0
#define ZEL_BUFFER_KEY_OUTPUT 3

/* ZELOpen: registering the trigger key failed. */
#define ZEL_ERR_TRIGGER_KEY ((DWORD)0xFFFF0705)

#ifdef __cplusplus
extern "C" {
#endif

DWORD ZELOpen(HWND window, DWORD value);
DWORD ZELClose(void);
DWORD ZELChangeBuffMode(DWORD mode);
DWORD ZELOp590(void);
DWORD ZELOp580(void);
DWORD ZELPollStatus(DWORD* status, DWORD* pending);
DWORD ZELReadData(BYTE* buffer, DWORD* info, BYTE* length);

#ifdef __cplusplus
}
#endif

#endif
