// Kernel objects: events, mutexes, threads, waits, last error, handle
// ownership and naming.
#include "spine_fixture.hpp"

#include <atomic>
#include <thread>

namespace {

using Kernel = FreshDevice;

TEST_F(Kernel, TimedWaitTimesOutAndIsTraced) {
    TracedProcess app;
    HANDLE e = CreateEventW(NULL, FALSE, FALSE, NULL);
    EXPECT_EQ(WaitForSingleObject(e, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(e, 120), WAIT_TIMEOUT);
    CloseHandle(e);
    // Short poll waits that time out are left to the verbose trace.
    EXPECT_TRUE(same_sequence(
        {
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
            "WaitForSingleObject(event#1, 120) = WAIT_TIMEOUT",
            "CloseHandle(event#1) = TRUE",
        },
        app.calls(), "calls"));
}

TEST_F(Kernel, NullAndClosedHandlesFailAtOnce) {
    TracedProcess app;
    HANDLE e = CreateEventW(NULL, FALSE, FALSE, NULL);
    EXPECT_TRUE(CloseHandle(e));
    for (HANDLE h : {HANDLE(NULL), e, INVALID_HANDLE_VALUE}) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(ResetEvent(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    auto waits = app.calls_starting("WaitForSingleObject");
    EXPECT_TRUE(same_sequence(
        {"WaitForSingleObject(NULL, INFINITE) = WAIT_FAILED", "WaitForSingleObject(event#1, INFINITE) = WAIT_FAILED",
         "WaitForSingleObject(0xFFFFFFFFFFFFFFFF, INFINITE) = WAIT_FAILED"},
        waits, "waits on bad handles"));
}

TEST_F(Kernel, NamedMutexExistsOnceDeviceWide) {
    HANDLE first;
    {
        TracedProcess one;
        first = CreateMutexW(NULL, FALSE, u"PENDRELInstance");
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        {
            TracedProcess two;
            HANDLE second = CreateMutexW(NULL, FALSE, u"PENDRELInstance");
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
            EXPECT_NE(second, first);
            EXPECT_FALSE(CloseHandle(first)) << "a handle of another process";
            EXPECT_TRUE(CloseHandle(second));
            HANDLE unnamed = CreateMutexW(NULL, FALSE, NULL);
            EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
            CloseHandle(unnamed);
        }
        // The first process ends without closing its handle.
    }
    TracedProcess three;
    HANDLE again = CreateMutexW(NULL, FALSE, u"PENDRELInstance");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "the ended process's mutex should be gone";
    CloseHandle(again);
}

TEST_F(Kernel, MutexIsOwnedByTheThreadThatTookIt) {
    TracedProcess app;
    static HANDLE m;
    m = CreateMutexW(NULL, TRUE, NULL);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // recursive
    HANDLE t = CreateThread(
        NULL, 0, [](LPVOID) -> DWORD { return WaitForSingleObject(m, 0); }, NULL, 0, NULL);
    WaitForSingleObject(t, 10000);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(code, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(t);
    CloseHandle(m);
}

TEST_F(Kernel, LastErrorBelongsToEachThread) {
    TracedProcess app;
    SetLastError(1234);
    HANDLE t = CreateThread(
        NULL, 0, [](LPVOID) -> DWORD {
            SetLastError(42);
            return GetLastError();
        },
        NULL, 0, NULL);
    WaitForSingleObject(t, 10000);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(code, 42u);
    CloseHandle(t);
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST_F(Kernel, EndingAProcessClosesItsHandlesAndEndsItsThreads) {
    pf::Process* p;
    {
        TracedProcess app;
        p = app.process();
        CreateEventW(NULL, TRUE, FALSE, NULL);
        CreateThread(
            NULL, 0, [](LPVOID) -> DWORD {
                Sleep(INFINITE);
                return 0;
            },
            NULL, 0, NULL);
        EXPECT_EQ(pf::kernel::live_handle_count(p), 2u);
    }
    EXPECT_EQ(pf::kernel::live_handle_count(p), 0u);
    pf::Lock lock(pf::device_mutex());
    EXPECT_TRUE(pf::wait_until(lock, [p] { return p->live_threads == 0; }, pf::deadline_after_ms(10000)));
}

TEST_F(Kernel, HandleNamesCountPerType) {
    TracedProcess app;
    HANDLE e1 = CreateEventW(NULL, FALSE, FALSE, NULL);
    HANDLE m1 = CreateMutexW(NULL, FALSE, NULL);
    HANDLE e2 = CreateEventW(NULL, TRUE, TRUE, u"named");
    for (HANDLE h : {e1, m1, e2}) CloseHandle(h);
    EXPECT_TRUE(same_sequence(
        {
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
            "CreateMutexW(NULL, FALSE, NULL) = mutex#1",
            "CreateEventW(NULL, TRUE, TRUE, \"named\") = event#2",
            "CloseHandle(event#1) = TRUE",
            "CloseHandle(mutex#1) = TRUE",
            "CloseHandle(event#2) = TRUE",
        },
        app.calls(), "calls"));
}

TEST_F(Kernel, InterlockedOperations) {
    volatile LONG v = 5;
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(InterlockedIncrement(&v), 2);
    EXPECT_EQ(InterlockedDecrement(&v), 1);
}

TEST_F(Kernel, SleepBlocksTheThreadForTheDevice) {
    TracedProcess app;
    HANDLE t = CreateThread(
        NULL, 0, [](LPVOID) -> DWORD {
            Sleep(100);
            return 3;
        },
        NULL, 0, NULL);
    EXPECT_TRUE(pf::wait_quiet(10s));  // the sleeping thread counts as blocked
    EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    CloseHandle(t);
}

}  // namespace
