// Events, waits, a named mutex and threads.
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
    HANDLE closed = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(closed);
    HANDLE bad[] = {NULL, closed};
    for (HANDLE h : bad) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(ResetEvent(h));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
}

// Signals the event it is given, with a last error of its own.
DWORD WINAPI SignalAndExit(LPVOID event) {
    SetLastError(42);
    SetEvent(static_cast<HANDLE>(event));
    return GetLastError() == 42 ? 7 : 1;
}

TEST(Waits, ThreadSignalsItsStartAndItsHandleWhenItEnds) {
    HANDLE started = CreateEventW(NULL, FALSE, FALSE, NULL);
    SetLastError(1234);
    HANDLE thread = CreateThread(NULL, 0, SignalAndExit, started, 0, NULL);
    ASSERT_TRUE(thread);
    EXPECT_EQ(WaitForSingleObject(started, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(GetLastError(), 1234u) << "another thread's SetLastError changed this one's";
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u) << "the thread's last error was not its own";
    CloseHandle(thread);
    CloseHandle(started);
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

#ifndef _WIN32
// CreateMutex (Windows Embedded CE 6.0), lpName: each type has a name space of its own, and ""
// is a name like any other (device only: the desktop's shared name space refuses the event, and
// its "" makes an unnamed object).
TEST(Mutexes, AnEventMayTakeAMutexsNameAndTheEmptyNameIsAName) {
    HANDLE mutex = CreateMutexW(NULL, FALSE, TEXT("ConformanceShared"));
    HANDLE event = CreateEventW(NULL, FALSE, FALSE, TEXT("ConformanceShared"));
    EXPECT_TRUE(mutex && event);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    HANDLE empty = CreateMutexW(NULL, FALSE, TEXT(""));
    HANDLE again = CreateMutexW(NULL, FALSE, TEXT(""));
    EXPECT_TRUE(empty && again);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    for (HANDLE h : {again, empty, event, mutex}) CloseHandle(h);
}
#endif

}  // namespace
