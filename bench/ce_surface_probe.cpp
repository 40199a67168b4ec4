// Calls a desktop-only function (CE has no ANSI window functions); the CE
// surface check must name it.
extern "C" int SetWindowTextA(void* window, const char* text);
int ProbeSetTitle(void* window) { return SetWindowTextA(window, "probe"); }
