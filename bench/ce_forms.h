// Force-included into a second, compile-only build of the application's
// objects: the calls that the CE 4.x SDK headers give as macros or inlines
// take those forms here, so that each object's undefined symbols are the
// names a CE 4.x link imports (kfuncs.h: SetEvent over EventModify,
// LockResource as its argument; winbase.h before CE 6: the pointer
// interlocked calls over the LONG ones). bench/ce_surface.sh holds these
// imports against platform/ce-surface.txt. The objects are never linked:
// the casts only keep the 64-bit compile quiet, the host build keeps its
// pointer-sized calls.
#include <windows.h>

extern "C" BOOL WINAPI EventModify(HANDLE hEvent, DWORD func);
#define EVENT_SET 3

#define SetEvent(h) EventModify((h), EVENT_SET)
#define LockResource(h) ((LPVOID)(h))
#define InterlockedCompareExchangePointer(target, exchange, comperand) \
    ((PVOID)(LONG_PTR)InterlockedCompareExchange((LONG*)(target), (LONG)(LONG_PTR)(exchange), \
                                                 (LONG)(LONG_PTR)(comperand)))
#define InterlockedExchangePointer(target, value) \
    ((PVOID)(LONG_PTR)InterlockedExchange((LONG*)(target), (LONG)(LONG_PTR)(value)))
