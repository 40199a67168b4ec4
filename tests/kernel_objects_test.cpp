// Kernel objects on the device's side: the trace of the calls, a name shared
// by processes, what the end of a process takes along, and waits that the
// device can see are blocked.
#include "spine_fixture.hpp"

namespace {

using Kernel = FreshDevice;

// Handle names count per type; short waits that time out are left to the
// verbose trace; a bad handle fails at once, whatever its kind.
TEST_F(Kernel, CallsAreTracedWithHandleNamesPerType) {
    TracedProcess app;
    HANDLE e1 = CreateEventW(NULL, FALSE, FALSE, NULL);
    HANDLE m1 = CreateMutexW(NULL, FALSE, NULL);
    HANDLE e2 = CreateEventW(NULL, TRUE, TRUE, u"named");
    EXPECT_EQ(WaitForSingleObject(e1, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(e1, 120), WAIT_TIMEOUT);
    for (HANDLE h : {e1, m1, e2}) CloseHandle(h);
    for (HANDLE h : {e1, INVALID_HANDLE_VALUE}) EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_FAILED);
    EXPECT_TRUE(same_sequence(
        {
            "CreateEventW(NULL, FALSE, FALSE, NULL) = event#1",
            "CreateMutexW(NULL, FALSE, NULL) = mutex#1",
            "CreateEventW(NULL, TRUE, TRUE, \"named\") = event#2",
            "WaitForSingleObject(event#1, 120) = WAIT_TIMEOUT",
            "CloseHandle(event#1) = TRUE",
            "CloseHandle(mutex#1) = TRUE",
            "CloseHandle(event#2) = TRUE",
            "WaitForSingleObject(event#1, INFINITE) = WAIT_FAILED",
            "WaitForSingleObject(0xFFFFFFFFFFFFFFFF, INFINITE) = WAIT_FAILED",
        },
        app.calls(), "calls"));
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
        }
        // The first process ends without closing its handle.
    }
    TracedProcess three;
    HANDLE again = CreateMutexW(NULL, FALSE, u"PENDRELInstance");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "the ended process's mutex should be gone";
    CloseHandle(again);
}

// Setting an auto-reset event that a thread waits on releases that thread
// there and then, so a second set leaves the event signalled. The device
// is quiet once the waiter is blocked (a wait with a timeout is not quiet).
TEST_F(Kernel, AutoResetEventReleasesItsWaiterOnTheSetItself) {
    TracedProcess app;
    static HANDLE e;
    e = CreateEventW(NULL, FALSE, FALSE, NULL);
    HANDLE waiter = CreateThread(
        NULL, 0, [](LPVOID) -> DWORD { return WaitForSingleObject(e, INFINITE); }, NULL, 0, NULL);
    ASSERT_TRUE(pf::wait_quiet(10s)) << "the waiter never blocked";
    SetEvent(e);
    SetEvent(e);
    ASSERT_EQ(WaitForSingleObject(waiter, 10000), WAIT_OBJECT_0);
    DWORD result = 1;
    GetExitCodeThread(waiter, &result);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    CloseHandle(waiter);
    CloseHandle(e);
}

// A sleeping thread counts as blocked; the end of its process closes the
// process's handles and ends the thread.
TEST_F(Kernel, EndingAProcessClosesItsHandlesAndEndsItsThreads) {
    pf::Process* p;
    {
        TracedProcess app;
        p = app.process();
        CreateEventW(NULL, TRUE, FALSE, NULL);
        HANDLE sleeper = CreateThread(
            NULL, 0, [](LPVOID) -> DWORD {
                Sleep(INFINITE);
                return 0;
            },
            NULL, 0, NULL);
        EXPECT_TRUE(pf::wait_quiet(10s)) << "a sleeping thread should count as blocked";
        EXPECT_EQ(WaitForSingleObject(sleeper, 0), WAIT_TIMEOUT);
        EXPECT_EQ(pf::kernel::live_handle_count(p), 2u);
    }
    EXPECT_EQ(pf::kernel::live_handle_count(p), 0u);
    pf::Lock lock(pf::device_mutex());
    EXPECT_TRUE(pf::wait_until(lock, [p] { return p->live_threads == 0; }, pf::deadline_after_ms(10000)));
}

}  // namespace
