// Constants by name for trace lines.
#include "user/user_internal.hpp"

namespace pf::user {

std::string rect_str(const RECT& r) {
    return "{" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + "}";
}

std::string flags_str(DWORD value, const std::vector<std::pair<DWORD, const char*>>& names) {
    std::string out;
    for (auto& [bit, name] : names) {
        if (bit && (value & bit) == bit) {
            if (!out.empty()) out += "|";
            out += name;
            value &= ~bit;
        }
    }
    if (value || out.empty()) {
        if (!out.empty()) out += "|";
        out += value ? hex(value) : "0";
    }
    return out;
}

std::string ws_str(DWORD style) {
    static const std::vector<std::pair<DWORD, const char*>> names = {
        {WS_POPUP, "WS_POPUP"},       {WS_CHILD, "WS_CHILD"},         {WS_VISIBLE, "WS_VISIBLE"},
        {WS_DISABLED, "WS_DISABLED"}, {WS_CLIPSIBLINGS, "WS_CLIPSIBLINGS"}, {WS_CLIPCHILDREN, "WS_CLIPCHILDREN"},
        {WS_CAPTION, "WS_CAPTION"},   {WS_BORDER, "WS_BORDER"},       {WS_DLGFRAME, "WS_DLGFRAME"},
        {WS_VSCROLL, "WS_VSCROLL"},   {WS_HSCROLL, "WS_HSCROLL"},     {WS_SYSMENU, "WS_SYSMENU"},
        {WS_THICKFRAME, "WS_THICKFRAME"}, {WS_GROUP, "WS_GROUP"},     {WS_TABSTOP, "WS_TABSTOP"},
    };
    return flags_str(style, names);
}

std::string sw_str(int cmd) {
    switch (cmd) {
    case SW_HIDE: return "SW_HIDE";
    case SW_SHOWNORMAL: return "SW_SHOWNORMAL";
    case SW_SHOWMINIMIZED: return "SW_SHOWMINIMIZED";
    case SW_SHOWMAXIMIZED: return "SW_SHOWMAXIMIZED";
    case SW_SHOWNOACTIVATE: return "SW_SHOWNOACTIVATE";
    case SW_SHOW: return "SW_SHOW";
    case SW_MINIMIZE: return "SW_MINIMIZE";
    case SW_SHOWNA: return "SW_SHOWNA";
    case SW_RESTORE: return "SW_RESTORE";
    default: return std::to_string(cmd);
    }
}

std::string mb_str(UINT type) {
    static const char* buttons[] = {"MB_OK", "MB_OKCANCEL", "MB_ABORTRETRYIGNORE", "MB_YESNOCANCEL", "MB_YESNO",
                                    "MB_RETRYCANCEL"};
    UINT b = type & MB_TYPEMASK;
    std::string out = b < 6 ? buttons[b] : hex(b);
    UINT rest = type & ~MB_TYPEMASK;
    if (rest) {
        static const std::vector<std::pair<DWORD, const char*>> names = {
            {MB_ICONINFORMATION, "MB_ICONINFORMATION"}, {MB_ICONEXCLAMATION, "MB_ICONEXCLAMATION"},
            {MB_ICONHAND, "MB_ICONHAND"}, {MB_SETFOREGROUND, "MB_SETFOREGROUND"}, {MB_TOPMOST, "MB_TOPMOST"}};
        out += "|" + flags_str(rest, names);
    }
    return out;
}

std::string id_str(int id) {
    switch (id) {
    case IDOK: return "IDOK";
    case IDCANCEL: return "IDCANCEL";
    case IDABORT: return "IDABORT";
    case IDRETRY: return "IDRETRY";
    case IDIGNORE: return "IDIGNORE";
    case IDYES: return "IDYES";
    case IDNO: return "IDNO";
    default: return std::to_string(id);
    }
}

std::string num_str(uintptr_t v) { return v < 0x10000 ? std::to_string(v) : hex(v); }

std::string dt_str(UINT format) {
    static const std::vector<std::pair<DWORD, const char*>> names = {
        {DT_CENTER, "DT_CENTER"},         {DT_RIGHT, "DT_RIGHT"},       {DT_VCENTER, "DT_VCENTER"},
        {DT_BOTTOM, "DT_BOTTOM"},         {DT_WORDBREAK, "DT_WORDBREAK"}, {DT_SINGLELINE, "DT_SINGLELINE"},
        {DT_NOPREFIX, "DT_NOPREFIX"},
    };
    return flags_str(format, names);
}

std::string msg_name(UINT msg) {
    switch (msg) {
#define PF_MSG(m) \
    case m: return #m;
        PF_MSG(WM_NULL) PF_MSG(WM_CREATE) PF_MSG(WM_DESTROY) PF_MSG(WM_MOVE) PF_MSG(WM_SIZE) PF_MSG(WM_ACTIVATE)
        PF_MSG(WM_SETFOCUS) PF_MSG(WM_KILLFOCUS) PF_MSG(WM_ENABLE) PF_MSG(WM_SETTEXT) PF_MSG(WM_GETTEXT)
        PF_MSG(WM_GETTEXTLENGTH) PF_MSG(WM_PAINT) PF_MSG(WM_CLOSE) PF_MSG(WM_QUIT) PF_MSG(WM_ERASEBKGND)
        PF_MSG(WM_SHOWWINDOW) PF_MSG(WM_ACTIVATEAPP) PF_MSG(WM_CANCELMODE) PF_MSG(WM_NCCREATE)
        PF_MSG(WM_NCDESTROY) PF_MSG(WM_GETDLGCODE) PF_MSG(WM_KEYDOWN) PF_MSG(WM_KEYUP) PF_MSG(WM_CHAR)
        PF_MSG(WM_SYSKEYDOWN) PF_MSG(WM_SYSKEYUP) PF_MSG(WM_SYSCHAR) PF_MSG(WM_INITDIALOG) PF_MSG(WM_COMMAND)
        PF_MSG(WM_SYSCOMMAND) PF_MSG(WM_TIMER) PF_MSG(WM_LBUTTONDOWN) PF_MSG(WM_LBUTTONUP) PF_MSG(WM_NEXTDLGCTL)
#undef PF_MSG
    default:
        if (msg >= WM_USER && msg < WM_APP) return "WM_USER+" + std::to_string(msg - WM_USER);
        return hex(msg);
    }
}

}  // namespace pf::user
