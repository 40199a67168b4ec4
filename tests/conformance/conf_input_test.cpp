// Keyboard input from another thread, as a reader worker types it: keys are
// queued for the foreground thread and go to whichever window has the focus
// when each one is retrieved, so a focus change in the middle of a burst
// redirects the rest of it.
#include "conformance.hpp"


using namespace conformance;

namespace {

struct Stroke {
    BYTE vk;
    bool up;
};

// Presses and releases each key in turn.
std::vector<Stroke> taps(const char* keys) {
    std::vector<Stroke> out;
    for (const char* k = keys; *k; ++k) {
        out.push_back(Stroke{BYTE(*k), false});
        out.push_back(Stroke{BYTE(*k), true});
    }
    return out;
}

std::vector<Stroke> operator+(std::vector<Stroke> a, const std::vector<Stroke>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Stroke> tap(BYTE vk) { return std::vector<Stroke>{Stroke{vk, false}, Stroke{vk, true}}; }

DWORD WINAPI Typist(LPVOID param) {
    const std::vector<Stroke>& strokes = *static_cast<const std::vector<Stroke>*>(param);
    for (const Stroke& s : strokes) keybd_event(s.vk, 0, s.up ? KEYEVENTF_KEYUP : 0, 0);
    return 0;
}

// Types the whole burst from another thread and returns once it is queued,
// before this thread has retrieved any of it.
void type_burst(const std::vector<Stroke>& strokes) {
    HANDLE thread = CreateThread(NULL, 0, Typist, const_cast<std::vector<Stroke>*>(&strokes), 0, NULL);
    ASSERT_TRUE(thread != NULL);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

std::basic_string<WCHAR> text_of(HWND w) {
    WCHAR buf[128] = {};
    GetWindowTextW(w, buf, 128);
    return buf;
}

// ---- recording windows, their key messages ----

std::vector<Step> only(const std::vector<Step>& log, UINT message) {
    std::vector<Step> out;
    for (const Step& m : log)
        if (m.message == message) out.push_back(m);
    return out;
}
// Key and focus messages only: what the input routing decides.
std::vector<Step> keys_seen() {
    std::vector<Step> out;
    for (const Step& m : messages())
        if (m.message == WM_KEYDOWN || m.message == WM_KEYUP || m.message == WM_CHAR) out.push_back(m);
        else if (m.message == WM_SETFOCUS || m.message == WM_KILLFOCUS) out.push_back(Step{m.window, m.message});
    return out;
}
std::vector<Step> without_focus(const std::vector<Step>& log) {
    std::vector<Step> out;
    for (const Step& m : log)
        if (m.message != WM_SETFOCUS && m.message != WM_KILLFOCUS) out.push_back(m);
    return out;
}
// Set while a dialog runs: its owner got the dialog's ping.
bool* owner_ping = nullptr;
// What a window does when it receives a character; set per test.
void (*on_char)(HWND, WPARAM) = nullptr;

void on_key_window_message(HWND hwnd, UINT message, WPARAM wParam) {
    if (message == WM_CHAR && on_char) on_char(hwnd, wParam);
    if (message == WM_USER + 12 && owner_ping) *owner_ping = true;  // a dialog's ping to its owner
}

class KeyboardInput : public ::testing::Test {
public:
    void SetUp() override {
        on_char = nullptr;
        on_message = on_key_window_message;
    }
    void TearDown() override {
        on_char = nullptr;
        for (HWND w : windows)
            if (IsWindow(w)) DestroyWindow(w);
        pump();
        on_message = nullptr;
    }
    HWND top(const WCHAR* title, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE) {
        windows.push_back(create_recording_window(title, style));
        return windows.back();
    }
    HWND child(HWND parent, int id, const WCHAR* title) {
        windows.push_back(create_recording_window(title, WS_CHILD | WS_VISIBLE, parent, id));
        return windows.back();
    }
    // Makes w the foreground window with the focus on `focus`, and forgets
    // what was recorded so far.
    void bring_forward(HWND w, HWND focus) {
        SetForegroundWindow(w);
        SetFocus(focus);
        pump();
        clear_record();
    }
    std::vector<HWND> windows;
};

HWND second_child;

TEST_F(KeyboardInput, SetFocusWhileHandlingACharacterRedirectsTheRestOfTheBurst) {
    HWND w = top(TEXT("keys"));
    HWND a = child(w, 1, TEXT("a"));
    HWND b = child(w, 2, TEXT("b"));
    second_child = b;
    bring_forward(w, a);
    on_char = [](HWND, WPARAM ch) {
        if (ch == 'x') SetFocus(second_child);
    };
    type_burst(taps("AX") + taps("B"));
    pump();
    // The release of X was queued before the focus moved; it still goes to
    // the window that has the focus when it is retrieved.
    static const std::vector<Step> redirected = {
        {"a", WM_KEYDOWN, 'A'}, {"a", WM_CHAR, 'a'},      {"a", WM_KEYUP, 'A'},   {"a", WM_KEYDOWN, 'X'},
        {"a", WM_CHAR, 'x'},    {"a", WM_KILLFOCUS},      {"b", WM_SETFOCUS},     {"b", WM_KEYUP, 'X'},
        {"b", WM_KEYDOWN, 'B'}, {"b", WM_CHAR, 'b'},      {"b", WM_KEYUP, 'B'},
    };
    EXPECT_TRUE(same_sequence(redirected, keys_seen(), "SetFocus from WM_CHAR mid-burst"));
    (void)a;
}

TEST_F(KeyboardInput, ShiftIsReadAsOfEachKeyWhenItIsRetrieved) {
    HWND w = top(TEXT("shift"));
    bring_forward(w, w);
    type_burst(taps("A") + std::vector<Stroke>{{VK_SHIFT, false}} + taps("B") +
               std::vector<Stroke>{{VK_SHIFT, true}} + taps("C"));
    pump();
    static const std::vector<Step> chars = {{"shift", WM_CHAR, 'a'}, {"shift", WM_CHAR, 'B'}, {"shift", WM_CHAR, 'c'}};
    EXPECT_TRUE(same_sequence(chars, only(keys_seen(), WM_CHAR), "Shift in a burst"));
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);
}

// keybd_event (Windows CE 5.0): key codes are 1 to 254. The desktop queues
// key 0 to the focus, without a character; the handheld makes no key of it.
TEST_F(KeyboardInput, VirtualKeyZeroGivesNoCharacterAndOnTheHandheldNoKey) {
    HWND w = top(TEXT("zero"));
    bring_forward(w, w);
    type_burst(tap(0) + taps("A"));
    pump();
    static const std::vector<Step> keys = {
#ifdef _WIN32
        {"zero", WM_KEYDOWN, 0}, {"zero", WM_KEYUP, 0},
#endif
        {"zero", WM_KEYDOWN, 'A'}, {"zero", WM_CHAR, 'a'}, {"zero", WM_KEYUP, 'A'}};
    EXPECT_TRUE(same_sequence(keys, keys_seen(), "virtual key 0"));
}

HWND box_owner;
UINT box_type;
int box_result;

// The box's default button answers Return; Escape answers Cancel. A lone OK
// closes with Escape too (IDOK on Windows, IDCANCEL under Wine: either).
TEST_F(KeyboardInput, KeysQueuedBeforeAMessageBoxOpensGoToTheBox) {
    struct Case {
        UINT type;
        BYTE closing;
        int result;
    } cases[] = {{MB_OKCANCEL, VK_ESCAPE, IDCANCEL}, {MB_OK, VK_RETURN, IDOK}, {MB_OK, VK_ESCAPE, 0},
                 {MB_RETRYCANCEL, VK_RETURN, IDRETRY}, {MB_RETRYCANCEL, VK_ESCAPE, IDCANCEL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type) * 1000 + c.closing);
        HWND w = top(TEXT("owner"));
        box_owner = w;
        box_type = c.type;
        box_result = 0;
        bring_forward(w, w);
        on_char = [](HWND, WPARAM ch) {
            if (ch == 'a') box_result = MessageBoxW(box_owner, TEXT("text"), TEXT("box"), box_type);
        };
        // The rest of the burst is typed into the box, which the closing key
        // answers; that key's release is retrieved after the box has gone.
        type_burst(taps("A") + taps("B") + tap(c.closing));
        pump();
        if (c.result)
            EXPECT_EQ(box_result, c.result);
        else
            EXPECT_TRUE(box_result == IDOK || box_result == IDCANCEL) << box_result;
        const std::vector<Step> owner_keys = {
            {"owner", WM_KEYDOWN, 'A'}, {"owner", WM_CHAR, 'a'}, {"owner", WM_KEYUP, c.closing}};
        EXPECT_TRUE(same_sequence(owner_keys, without_focus(keys_seen()), "keys around a message box"));
        DestroyWindow(w);
        pump();
    }
}

HWND menu_owner;
int menu_result;

// 'a' opens a popup of two items without mnemonics over menu_owner.
void open_popup_on_a(HWND, WPARAM ch) {
    if (ch != 'a') return;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, TEXT("One"));
    AppendMenuW(menu, MF_STRING, 2, TEXT("Two"));
    menu_result = TrackPopupMenuEx(menu, TPM_RETURNCMD, 10, 10, menu_owner, NULL);
    DestroyMenu(menu);
}

// 'a' opens the popup; the keys typed after it go to the popup until the
// closing key closes it without a choice (a letter that is no item's
// mnemonic leaves it open), and the rest go to the owner again. The release
// of the closing key is retrieved after the popup has gone.
TEST_F(KeyboardInput, EscapeOrReturnClosesAPopupThatTookTheKeysQueuedAfterIt) {
    struct Case {
        std::vector<Stroke> inside;
        BYTE closing;
    } cases[] = {{std::vector<Stroke>(), VK_ESCAPE}, {taps("B"), VK_RETURN}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.closing));
        HWND w = top(TEXT("popup owner"));
        menu_owner = w;
        menu_result = -1;
        bring_forward(w, w);
        on_char = open_popup_on_a;
        type_burst(taps("A") + c.inside + tap(c.closing) + taps("C"));
        pump();
        EXPECT_EQ(menu_result, 0);
        const std::vector<Step> owner_keys = {
            {"popup owner", WM_KEYDOWN, 'A'}, {"popup owner", WM_CHAR, 'a'}, {"popup owner", WM_KEYUP, c.closing},
            {"popup owner", WM_KEYDOWN, 'C'}, {"popup owner", WM_CHAR, 'c'}, {"popup owner", WM_KEYUP, 'C'}};
        EXPECT_TRUE(same_sequence(owner_keys, without_focus(keys_seen()), "keys around a popup"));
        DestroyWindow(w);
        pump();
    }
}

HWND hidden_window;

TEST_F(KeyboardInput, HidingTheForegroundWindowSendsTheRestToTheNextWindow) {
    HWND back = top(TEXT("back"));
    HWND front = top(TEXT("front"));
    hidden_window = front;
    bring_forward(front, front);
    on_char = [](HWND, WPARAM ch) {
        if (ch == 'a') ShowWindow(hidden_window, SW_HIDE);
    };
    type_burst(taps("AB"));
    pump();
    static const std::vector<Step> keys = {{"front", WM_KEYDOWN, 'A'}, {"front", WM_CHAR, 'a'},
                                           {"back", WM_KEYUP, 'A'},    {"back", WM_KEYDOWN, 'B'},
                                           {"back", WM_CHAR, 'b'},     {"back", WM_KEYUP, 'B'}};
    EXPECT_TRUE(same_sequence(keys, without_focus(keys_seen()), "hiding the foreground window mid-burst"));
    (void)back;
}

TEST_F(KeyboardInput, AHiddenWindowBroughtToTheForegroundTakesTheKeys) {
    HWND shown = top(TEXT("shown"));
    bring_forward(shown, shown);
    HWND hidden = top(TEXT("hidden"), WS_OVERLAPPEDWINDOW);
    EXPECT_TRUE(SetForegroundWindow(hidden));
    pump();
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(GetForegroundWindow(), hidden);
    EXPECT_EQ(GetFocus(), hidden);
    clear_record();
    type_burst(taps("A"));
    pump();
    static const std::vector<Step> keys = {{"hidden", WM_KEYDOWN, 'A'}, {"hidden", WM_CHAR, 'a'},
                                           {"hidden", WM_KEYUP, 'A'}};
    EXPECT_TRUE(same_sequence(keys, keys_seen(), "keys to a hidden foreground window"));
}

// ---- bursts typed into a dialog ----

// What the focused control answers to WM_GETDLGCODE decides where each key
// goes: a single-line edit leaves Return, Tab and Escape to the dialog; a
// multi-line edit with ES_WANTRETURN takes Return. The modal loop keeps
// serving the owner thread's other windows meanwhile.

enum { IdFirst = 201, IdSecond = 202, IdThird = 203, StepType = WM_USER + 11 };

// A multi-line edit (with or without ES_WANTRETURN) or a single-line edit
// first, then two single-line edits.
struct EditsTemplate : DialogTemplate {
    explicit EditsTemplate(DWORD first_style) : DialogTemplate(TEXT("Burst"), 3) {
        edit(IdFirst, first_style, 5, 5, 100, 30);
        edit(IdSecond, ES_AUTOHSCROLL, 5, 40, 100, 12);
        edit(IdThird, ES_AUTOHSCROLL, 5, 55, 100, 12);
    }
};

struct DialogRun {
    std::vector<Stroke> burst;
    std::basic_string<WCHAR> first, second;  // the fields' texts when it ended
    INT_PTR result = 0;
    bool owner_served = false;  // a message to the owner handled while the dialog ran
};
DialogRun* dialog_run;

INT_PTR CALLBACK BurstDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        // Typed once the dialog is up and active, as a scan would be.
        PostMessageW(GetParent(dlg), WM_USER + 12, 0, 0);
        PostMessageW(dlg, StepType, 0, 0);
        return TRUE;
    case StepType:
        type_burst(dialog_run->burst);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            dialog_run->first = text_of(GetDlgItem(dlg, IdFirst));
            dialog_run->second = text_of(GetDlgItem(dlg, IdSecond));
            EndDialog(dlg, LOWORD(wParam));
        }
        return TRUE;
    }
    return FALSE;
}

struct BurstCase {
    const char* what;
    DWORD first_style;
    std::vector<Stroke> burst;
    INT_PTR result;
    const WCHAR* first;
    const WCHAR* second;
    bool b_to_owner;  // the burst outlived the dialog: its 'b' reached the owner
};

const DWORD Single = ES_AUTOHSCROLL, WantsReturn = ES_MULTILINE | ES_WANTRETURN;
const std::vector<Stroke> shift_down = {{VK_SHIFT, false}}, shift_up = {{VK_SHIFT, true}};

const BurstCase bursts[] = {
    {"Tab moves on", Single, taps("12") + tap(VK_TAB) + taps("34") + tap(VK_ESCAPE),
     IDCANCEL, TEXT("12"), TEXT("34"), false},
    {"Shift+Tab moves back", Single, taps("1") + tap(VK_TAB) + taps("2") + shift_down + tap(VK_TAB) + shift_up +
     taps("3") + tap(VK_ESCAPE), IDCANCEL, TEXT("3"), TEXT("2"), false},
    {"Backspace edits", Single, taps("AB") + tap(VK_BACK) + taps("C") + tap(VK_ESCAPE),
     IDCANCEL, TEXT("ac"), TEXT(""), false},
    {"Backspace takes a line break in one step", WantsReturn,
     taps("A") + tap(VK_RETURN) + tap(VK_BACK) + taps("B") + tap(VK_ESCAPE), IDCANCEL, TEXT("ab"), TEXT(""), false},
    {"Return in a single-line field gives IDOK", Single, taps("A") + tap(VK_RETURN) + taps("B"),
     IDOK, TEXT("a"), TEXT(""), true},
    {"Return stays in a field that wants it", WantsReturn, taps("A") + tap(VK_RETURN) + taps("B") + tap(VK_ESCAPE),
     IDCANCEL, TEXT("a\r\nb"), TEXT(""), false},
    {"Escape in a multi-line field cancels", WantsReturn, taps("A") + tap(VK_ESCAPE) + taps("B"),
     IDCANCEL, TEXT("a"), TEXT(""), true},
    {"Tab leaves a multi-line field", WantsReturn, taps("A") + tap(VK_TAB) + taps("B") + tap(VK_ESCAPE),
     IDCANCEL, TEXT("a"), TEXT("b"), false},
    // Tab into an edit selects all its text, which the next key replaces.
    {"Tab into a field selects its text", WantsReturn,
     taps("A") + tap(VK_RETURN) + tap(VK_TAB) + tap(VK_TAB) + tap(VK_TAB) + taps("Z") + tap(VK_ESCAPE),
     IDCANCEL, TEXT("z"), TEXT(""), false},
};

class DialogBurst : public KeyboardInput {};

TEST_F(DialogBurst, KeysGoWhereTheFocusedFieldLetsThem) {
    static const std::vector<Step> b_to_owner = {{"dialog owner", WM_CHAR, 'b'}};
    for (const BurstCase& c : bursts) {
        SCOPED_TRACE(c.what);
        HWND owner = top(TEXT("dialog owner"));
        bring_forward(owner, owner);
        DialogRun r;
        r.burst = c.burst;
        dialog_run = &r;
        owner_ping = &r.owner_served;
        EditsTemplate t(c.first_style);
        r.result = DialogBoxIndirectParamW(NULL, t.get(), owner, BurstDlgProc, 0);
        dialog_run = nullptr;
        owner_ping = nullptr;
        pump();
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.first, std::basic_string<WCHAR>(c.first));
        EXPECT_EQ(r.second, std::basic_string<WCHAR>(c.second));
        EXPECT_TRUE(same_sequence(c.b_to_owner ? b_to_owner : std::vector<Step>(), only(keys_seen(), WM_CHAR),
                                  "characters that reached the owner after the dialog"));
        EXPECT_TRUE(r.owner_served) << "the modal loop left the owner's message waiting";
        EXPECT_TRUE(IsWindowEnabled(owner));
        DestroyWindow(owner);
        pump();
    }
}

}  // namespace
