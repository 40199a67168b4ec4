/* The reader worker: polls the driver every 50 ms and types each read. The
   UI thread starts and stops it through two events and two flags. */
#include <windows.h>
#include <string.h>

#include "keys.h"
#include "reader.h"
#include "zel.h"

#define WORKER_START_WAIT 3000
#define POLL_WAIT 50
#define STOP_WAIT 100
#define STOP_WAIT_COUNT 32
#define START_FAILED 9999

BYTE ReadBuffer[READ_BUFFER_SIZE];
BYTE ReadLength;

HANDLE WakeEvent;
HANDLE SignalEvent;
HANDLE WorkerThread;
volatile LONG StopRequested;
volatile LONG WorkerDone;

static DWORD ReaderStatus;
static DWORD ReaderPending;
static DWORD ReadInfo;

/* The flags are read and written through interlocked calls so that every
   loop pass sees the other thread's write. The handheld's SDK declares these
   calls over plain LONG and PVOID pointers, hence the casts. */
static LONG ReadFlag(volatile LONG* flag)
{
    return InterlockedCompareExchange((LONG*)flag, 0, 0);
}

static void WriteFlag(volatile LONG* flag, LONG value)
{
    InterlockedExchange((LONG*)flag, value);
}

/* The event handles too: a stop that gives up waiting closes and clears
   them while its worker may still be about to wait on one. */
static HANDLE ReadHandle(HANDLE* slot)
{
    return (HANDLE)InterlockedCompareExchangePointer((PVOID*)slot, NULL, NULL);
}

static void WriteHandle(HANDLE* slot, HANDLE value)
{
    InterlockedExchangePointer((PVOID*)slot, value);
}

void ResetReader(void)
{
    ZELClose();
    ZELOp590();
    ZELOp580();
}

DWORD WINAPI ReaderWorker(LPVOID parameter)
{
    HANDLE ownWake;
    HANDLE wake;

    (void)parameter;
    ownWake = ReadHandle(&WakeEvent);
    SetEvent(ReadHandle(&SignalEvent));
    WaitForSingleObject(ReadHandle(&WakeEvent), POLL_WAIT);
    while (ReadFlag(&StopRequested) != 1) {
        /* A stop gave up on this worker and another has started since:
           two workers would share the read buffer and type every read
           twice, so this one leaves without touching the other's events. */
        wake = ReadHandle(&WakeEvent);
        if (wake != ownWake && wake != NULL)
            return 1;
        ZELPollStatus(&ReaderStatus, &ReaderPending);
        if (ReaderPending != 0) {
            ReadLength = 0;
            memset(ReadBuffer, 0, sizeof(ReadBuffer));
            ZELReadData(ReadBuffer, &ReadInfo, &ReadLength);
            TranslateRead(ReadLength);
            EmitKeys(ReadLength);
        }
        WaitForSingleObject(ReadHandle(&WakeEvent), POLL_WAIT);
    }
    SetEvent(ReadHandle(&SignalEvent));
    WaitForSingleObject(ReadHandle(&WakeEvent), STOP_WAIT);
    WriteFlag(&WorkerDone, 1);
    return 1;
}

int StartReaderWorker(HWND window)
{
    int result;
    (void)window;
    /* One worker is enough: a second start keeps the running one. */
    if (WorkerThread != NULL)
        return 0;
    WriteFlag(&StopRequested, 0);
    /* Events left by a start whose thread failed are used again. */
    if (ReadHandle(&WakeEvent) == NULL)
        WriteHandle(&WakeEvent, CreateEventW(NULL, FALSE, FALSE, NULL));
    if (ReadHandle(&SignalEvent) == NULL)
        WriteHandle(&SignalEvent, CreateEventW(NULL, FALSE, FALSE, NULL));
    WorkerThread = CreateThread(NULL, 0, ReaderWorker, NULL, 0, NULL);
    result = WorkerThread == NULL ? START_FAILED : 0;
    WaitForSingleObject(ReadHandle(&SignalEvent), WORKER_START_WAIT);
    return result;
}

int StopReaderWorker(void)
{
    int waits = 0;
    int done;

    WriteFlag(&WorkerDone, 0);
    SetEvent(ReadHandle(&WakeEvent));
    WriteFlag(&StopRequested, 1);
    SetEvent(ReadHandle(&WakeEvent));

    /* Up to 32 waits; the flag is not read after the last one. */
    done = ReadFlag(&WorkerDone) == 1;
    while (!done) {
        WaitForSingleObject(ReadHandle(&SignalEvent), STOP_WAIT);
        if (++waits == STOP_WAIT_COUNT)
            break;
        done = ReadFlag(&WorkerDone) == 1;
    }
    if (done)
        WaitForSingleObject(ReadHandle(&SignalEvent), STOP_WAIT);
    WaitForSingleObject(ReadHandle(&WakeEvent), STOP_WAIT);

    /* A worker that has not ended is left to end by itself. */
    CloseHandle(WorkerThread);
    WorkerThread = NULL;
    CloseHandle(ReadHandle(&WakeEvent));
    WriteHandle(&WakeEvent, NULL);
    CloseHandle(ReadHandle(&SignalEvent));
    WriteHandle(&SignalEvent, NULL);
    return 0;
}
