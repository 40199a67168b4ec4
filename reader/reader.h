/* The reader service: the driver reset sequence and the background worker
   that polls the driver and types each read. */
#ifndef PENDREL_READER_H
#define PENDREL_READER_H

#include <windows.h>

#define READ_BUFFER_SIZE 1024

/* One read, filled by ZELReadData and consumed by the key output. */
extern BYTE ReadBuffer[READ_BUFFER_SIZE];
extern BYTE ReadLength;

/* The handshake between the UI thread and the worker. */
extern HANDLE WakeEvent;
extern HANDLE SignalEvent;
extern HANDLE WorkerThread;
extern volatile LONG StopRequested;
extern volatile LONG WorkerDone;

/* ZELClose, ZELOp590, ZELOp580; results not examined. */
void ResetReader(void);

DWORD WINAPI ReaderWorker(LPVOID parameter);
/* 0 when the worker runs (a running worker is reused), 9999 when its thread
   could not be created. */
int StartReaderWorker(HWND window);
int StopReaderWorker(void);

#endif
