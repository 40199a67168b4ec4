// Events, waits, mutexes and threads.
#include "conformance.hpp"

namespace {

TEST(Waits, AutoResetEventReleasesOneWaitManualResetStaysSignalled) {
    HANDLE automatic = CreateEventW(NULL, FALSE, TRUE, NULL);
    HANDLE manual = CreateEventW(NULL, TRUE, TRUE, NULL);
    ASSERT_TRUE(automatic && manual);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 10), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), DWORD(WAIT_TIMEOUT));
    CloseHandle(automatic);
    CloseHandle(manual);
}

TEST(Waits, NullOrClosedHandleFailsAtOnce) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(NULL, 5000), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(NULL));
    HANDLE e = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(e);
    EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_FAILED);
}

DWORD WINAPI SignalAndExit(LPVOID event) {
    SetEvent(static_cast<HANDLE>(event));
    return 7;
}

TEST(Waits, ThreadSignalsItsStartAndItsHandleWhenItEnds) {
    HANDLE started = CreateEventW(NULL, FALSE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, SignalAndExit, started, 0, NULL);
    ASSERT_TRUE(thread);
    EXPECT_EQ(WaitForSingleObject(started, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
    CloseHandle(started);
}

DWORD WINAPI WaitOnce(LPVOID event) { return WaitForSingleObject(static_cast<HANDLE>(event), 5000); }

// Setting an auto-reset event that a thread waits on releases that thread at
// once, so a second set leaves the event signalled.
TEST(Waits, SettingAnAutoResetEventTwiceReleasesTheWaiterAndStaysSignalled) {
    HANDLE e = CreateEventW(NULL, FALSE, FALSE, NULL);
    HANDLE waiter = CreateThread(NULL, 0, WaitOnce, e, 0, NULL);
    ASSERT_TRUE(waiter);
    Sleep(100);  // most likely waiting by now; the outcome is the same if not
    SetEvent(e);
    SetEvent(e);
    ASSERT_EQ(WaitForSingleObject(waiter, 5000), WAIT_OBJECT_0);
    DWORD result = 0;
    GetExitCodeThread(waiter, &result);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    CloseHandle(waiter);
    CloseHandle(e);
}

TEST(Mutexes, SecondCreateOfANameReportsThatItExists) {
    HANDLE first = CreateMutexW(NULL, FALSE, TEXT("ConformanceMutex"));
    ASSERT_TRUE(first);
    EXPECT_NE(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    HANDLE second = CreateMutexW(NULL, FALSE, TEXT("ConformanceMutex"));
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(second);
    CloseHandle(first);
    HANDLE again = CreateMutexW(NULL, FALSE, TEXT("ConformanceMutex"));
    EXPECT_NE(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(again);
}

}  // namespace
