// Message order around window creation, showing, painting and destruction,
// and focus after hiding a window.
#include "conformance.hpp"

using namespace conformance;

namespace {

class WindowBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        create_result = 0;
        on_create = nullptr;
        pump();
        recorded().clear();
    }
    void TearDown() override {
        for (HWND w : windows)
            if (IsWindow(w)) DestroyWindow(w);
        pump();
        create_result = 0;
        on_create = nullptr;
    }
    HWND make(const WCHAR* title, DWORD style, HWND parent = NULL, int id = 0) {
        HWND w = create_recording_window(title, style, parent, id);
        if (w) windows.push_back(w);
        return w;
    }
    std::vector<HWND> windows;
};

TEST_F(WindowBehaviour, VisibleWindowIsCreatedThenShownActivatedAndFocused) {
    HWND w = make(TEXT("visible"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(w);
    EXPECT_TRUE(same_messages({{w, WM_CREATE, any}, {w, WM_SHOWWINDOW, TRUE}, {w, WM_ACTIVATE, any},
                               {w, WM_SETFOCUS, any}},
                              recorded()));
    EXPECT_EQ(GetFocus(), w);
}

TEST_F(WindowBehaviour, CreateAnsweringMinusOneFailsTheCreation) {
    create_result = -1;
    HWND w = make(TEXT("refused"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(w, (HWND)NULL);
    ASSERT_FALSE(recorded().empty());
    HWND seen = recorded().front().hwnd;
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_TRUE(same_messages({{seen, WM_CREATE, any}, {seen, WM_NCDESTROY, any}}, recorded()));
}

TEST_F(WindowBehaviour, WindowDestroyedInsideCreateFailsTheCreation) {
    on_create = [](HWND w) { DestroyWindow(w); };
    HWND w = make(TEXT("destroyed"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(w, (HWND)NULL);
    ASSERT_FALSE(recorded().empty());
    HWND seen = recorded().front().hwnd;
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_TRUE(same_messages({{seen, WM_CREATE, any}, {seen, WM_DESTROY, any}, {seen, WM_NCDESTROY, any}},
                              recorded()));
}

TEST_F(WindowBehaviour, VisibleStyleShowsTheWindowEvenWhenCreateHidIt) {
    on_create = [](HWND w) { ShowWindow(w, SW_HIDE); };
    HWND w = make(TEXT("hidden in create"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(w);
    EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(WindowBehaviour, UpdateWindowPaintsAtOnceAndOnlyOnce) {
    HWND w = make(TEXT("paint"), WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(w);
    recorded().clear();
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    std::vector<Msg> after_update = recorded();
    EXPECT_TRUE(same_messages({{w, WM_SHOWWINDOW, TRUE}, {w, WM_ACTIVATE, any}, {w, WM_SETFOCUS, any},
                               {w, WM_PAINT, any}},
                              after_update));
    recorded().clear();
    UpdateWindow(w);
    pump();
    EXPECT_TRUE(same_messages({}, recorded()));
}

TEST_F(WindowBehaviour, HiddenWindowIsNotPainted) {
    HWND w = make(TEXT("hidden"), WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(w);
    recorded().clear();
    ShowWindow(w, SW_SHOW);
    ShowWindow(w, SW_HIDE);
    pump();
    bool painted = false;
    for (const Msg& m : recorded()) painted = painted || m.message == WM_PAINT;
    EXPECT_FALSE(painted);
    EXPECT_FALSE(IsWindowVisible(w));
}

TEST_F(WindowBehaviour, DestroyWindowDestroysTheParentBeforeItsChildren) {
    HWND parent = make(TEXT("parent"), WS_OVERLAPPEDWINDOW);
    HWND child = make(TEXT("child"), WS_CHILD | WS_VISIBLE, parent, 7);
    ASSERT_TRUE(parent && child);
    recorded().clear();
    DestroyWindow(parent);
    EXPECT_TRUE(same_messages({{parent, WM_DESTROY, any}, {child, WM_DESTROY, any}, {child, WM_NCDESTROY, any},
                               {parent, WM_NCDESTROY, any}},
                              recorded()));
}

// The next window takes the focus itself (its WM_SETFOCUS may pass it on to
// a child, as the memo's does).
TEST_F(WindowBehaviour, HidingTheActiveWindowActivatesTheNextWhichTakesTheFocus) {
    HWND first = make(TEXT("first"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND field = make(TEXT("field"), WS_CHILD | WS_VISIBLE, first, 1);
    ASSERT_TRUE(first && field);
    SetFocus(field);
    HWND second = make(TEXT("second"), WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(second);
    EXPECT_EQ(GetFocus(), second);
    recorded().clear();
    ShowWindow(second, SW_HIDE);
    pump();
    EXPECT_EQ(GetFocus(), first);
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_TRUE(same_messages({{second, WM_SHOWWINDOW, FALSE}, {second, WM_ACTIVATE, WA_INACTIVE},
                               {first, WM_ACTIVATE, WA_ACTIVE}, {second, WM_KILLFOCUS, any},
                               {first, WM_SETFOCUS, any}, {first, WM_PAINT, any}, {field, WM_PAINT, any}},
                              recorded()));
}

TEST_F(WindowBehaviour, PostedThreadMessagesAndQuitArriveInOrder) {
    PostMessageW(NULL, WM_USER + 1, 1, 0);
    PostMessageW(NULL, WM_USER + 2, 2, 0);
    PostQuitMessage(3);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, NULL, 0, 0));
    EXPECT_EQ(msg.hwnd, (HWND)NULL);
    EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    ASSERT_TRUE(GetMessageW(&msg, NULL, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_USER + 2));
    EXPECT_FALSE(GetMessageW(&msg, NULL, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(3));
}

struct SendArgs {
    HWND target;
    LRESULT result;
};

DWORD WINAPI SendFromAnotherThread(LPVOID p) {
    SendArgs* args = static_cast<SendArgs*>(p);
    args->result = SendMessageW(args->target, WM_GETTEXTLENGTH, 0, 0);
    PostMessageW(args->target, WM_USER + 9, 0, 0);
    return 0;
}

TEST_F(WindowBehaviour, SendMessageFromAnotherThreadIsHandledByTheWindowsThread) {
    HWND w = make(TEXT("twelve chars"), WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(w);
    SendArgs args = {w, -1};
    HANDLE thread = CreateThread(NULL, 0, SendFromAnotherThread, &args, 0, NULL);
    ASSERT_TRUE(thread);
    MSG msg;
    // The sent message is handled inside GetMessageW; the posted one ends the loop.
    while (GetMessageW(&msg, NULL, 0, 0)) {
        DispatchMessageW(&msg);
        if (msg.message == WM_USER + 9) break;
    }
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(args.result, 12);
}

}  // namespace
