// winctl: drives the installer's dialogs from the end-to-end tests under Wine.
//
//   winctl [--timeout SEC] [--title TEXT] [--class NAME] [--beside ID] COMMAND [ARGS]
//
// Windows are found among the visible top-level windows of the session: of
// class NAME ("#32770" unless told), whose title contains TEXT, and, for the
// control commands, that hold the control (at any depth, so the controls of
// the wizard's child pages are found too; --beside ID takes only a control
// with a sibling of that id, to pick a page's control). Texts are compared as ANSI
// strings of the system code page, the way the installer sees them; they are
// taken from the UTF-16 command line, so any locale can call us, and printed
// as UTF-8. Exit status: 0 done, 1 not found or timed out, 2 usage.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int kTextMax = 4096;
const UINT kSendTimeoutMs = 5000;
const int kPollMs = 100;
const int kMessageBoxTextId = 0xFFFF;  // the static that holds a message box's text

// ---------------------------------------------------------------- output --

void Write(const char* text, size_t size) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)size, &written, NULL);
}

void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Print(const char* format, ...) {
    char line[kTextMax];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    Write(line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
}

void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Fail(const char* format, ...) {
    char line[kTextMax];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    DWORD written = 0;
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    WriteFile(err, "winctl: ", 8, &written, NULL);
    WriteFile(err, line, (DWORD)strlen(line), &written, NULL);
    WriteFile(err, "\n", 1, &written, NULL);
}

// ANSI (system code page) -> UTF-8, for printing.
void AnsiToUtf8(const char* ansi, char* utf8, int utf8Size) {
    static WCHAR wide[kTextMax];
    utf8[0] = 0;
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kTextMax);
    if (n <= 0) return;
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, utf8Size, NULL, NULL) <= 0) utf8[0] = 0;
}

void PrintAnsiLine(const char* ansi) {
    static char utf8[kTextMax * 3];
    AnsiToUtf8(ansi, utf8, sizeof utf8);
    Print("%s\n", utf8);
}

// UTF-16 argument -> ANSI of the system code page, for comparing with what
// the installer's ANSI windows hold.
void WideToAnsi(const WCHAR* wide, char* ansi, int ansiSize) {
    ansi[0] = 0;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, ansiSize, NULL, NULL) <= 0) ansi[0] = 0;
}

// --------------------------------------------------------- window access --

// Text of a window of another process: WM_GETTEXT is marshalled across
// processes, GetWindowText is not (it would miss an edit box's contents).
bool GetText(HWND hwnd, char* text, int size) {
    DWORD_PTR length = 0;
    text[0] = 0;
    if (!hwnd || !SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)size, (LPARAM)text, SMTO_NORMAL,
                                      kSendTimeoutMs, &length))
        return false;
    text[length < (DWORD_PTR)size ? length : (DWORD_PTR)size - 1] = 0;
    return true;
}

bool ClassIs(HWND hwnd, const char* name) {
    char cls[256];
    if (!GetClassNameA(hwnd, cls, sizeof cls)) return false;
    return lstrcmpiA(cls, name) == 0;
}

// Set by --beside: the control wanted must have a sibling with this id, to
// tell apart controls of the same id on the wizard and on its pages.
int g_besideId = -1;

struct ControlSearch {
    int id;
    HWND found;  // the first visible one, else the first one
    bool foundVisible;
};

BOOL CALLBACK VisitControl(HWND hwnd, LPARAM param) {
    ControlSearch* s = (ControlSearch*)param;
    if (GetDlgCtrlID(hwnd) != s->id) return TRUE;
    if (g_besideId >= 0 && !GetDlgItem(GetParent(hwnd), g_besideId)) return TRUE;
    bool visible = IsWindowVisible(hwnd) != 0;
    if (!s->found || (visible && !s->foundVisible)) {
        s->found = hwnd;
        s->foundVisible = visible;
    }
    return TRUE;
}

// A control with this id anywhere below the window (child pages included).
HWND FindControl(HWND top, int id) {
    ControlSearch s = {id, NULL, false};
    EnumChildWindows(top, VisitControl, (LPARAM)&s);
    return s.found;
}

// ------------------------------------------------------ window selection --

struct Selector {
    char className[256];
    char title[kTextMax];  // ANSI substring; empty: any
    int controlId;         // -1: any
    bool messageBox;       // a message box: the text static and a push button
};

bool IsMessageBox(HWND hwnd) {
    HWND text = FindControl(hwnd, kMessageBoxTextId);
    return text && ClassIs(text, "Static") &&
           (FindControl(hwnd, IDOK) || FindControl(hwnd, IDCANCEL) || FindControl(hwnd, IDYES));
}

bool Matches(HWND hwnd, const Selector& sel) {
    if (!IsWindowVisible(hwnd)) return false;
    if (sel.className[0] && !ClassIs(hwnd, sel.className)) return false;
    if (sel.title[0]) {
        char title[kTextMax];
        GetWindowTextA(hwnd, title, sizeof title);
        if (!strstr(title, sel.title)) return false;
    }
    if (sel.controlId >= 0 && !FindControl(hwnd, sel.controlId)) return false;
    if (sel.messageBox && !IsMessageBox(hwnd)) return false;
    return true;
}

struct WindowSearch {
    const Selector* sel;
    HWND found;
};

BOOL CALLBACK VisitTopLevel(HWND hwnd, LPARAM param) {
    WindowSearch* s = (WindowSearch*)param;
    if (!Matches(hwnd, *s->sel)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindTopLevel(const Selector& sel) {
    WindowSearch s = {&sel, NULL};
    EnumWindows(VisitTopLevel, (LPARAM)&s);
    return s.found;
}

// ------------------------------------------------------------- polling --

DWORD g_deadline;  // GetTickCount() value at which waiting stops

bool TimeLeft() { return (LONG)(g_deadline - GetTickCount()) > 0; }

HWND WaitTopLevel(const Selector& sel) {
    for (;;) {
        HWND hwnd = FindTopLevel(sel);
        if (hwnd) return hwnd;
        if (!TimeLeft()) return NULL;
        Sleep(kPollMs);
    }
}

// The control of the first matching window that holds it.
HWND WaitControl(Selector sel, int id) {
    sel.controlId = id;
    HWND top = WaitTopLevel(sel);
    return top ? FindControl(top, id) : NULL;
}

// ------------------------------------------------------------- commands --

struct Args {
    int count;
    WCHAR** values;
};

int ParseId(const WCHAR* text, int* id) {
    WCHAR* end = NULL;
    long value = wcstol(text, &end, 0);
    if (!end || *end || end == text) return 0;
    *id = (int)value;
    return 1;
}

void DescribeWindow(HWND hwnd, int depth) {
    char cls[256] = "", text[kTextMax];
    static char utf8[kTextMax * 3];
    GetClassNameA(hwnd, cls, sizeof cls);
    GetText(hwnd, text, sizeof text);
    AnsiToUtf8(text, utf8, sizeof utf8);
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    Print("%*s%p id=%d class=%s %s%s text=\"%s\"\n", depth * 2, "", (void*)hwnd, GetDlgCtrlID(hwnd),
          cls, (style & WS_VISIBLE) ? "visible" : "hidden",
          (style & WS_DISABLED) ? " disabled" : "", utf8);
}

void DescribeTree(HWND parent, int depth) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        DescribeWindow(child, depth);
        DescribeTree(child, depth + 1);
    }
}

BOOL CALLBACK ListTopLevel(HWND hwnd, LPARAM param) {
    const Selector* sel = (const Selector*)param;
    if (!Matches(hwnd, *sel)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    Print("pid=%lu ", (unsigned long)pid);
    DescribeWindow(hwnd, 0);
    DescribeTree(hwnd, 1);
    return TRUE;
}

int CmdWindows(const Selector& sel) {
    EnumWindows(ListTopLevel, (LPARAM)&sel);
    return 0;
}

int CmdWaitWindow(const Selector& sel) {
    HWND hwnd = WaitTopLevel(sel);
    if (!hwnd) {
        Fail("no matching window");
        return 1;
    }
    char title[kTextMax];
    GetText(hwnd, title, sizeof title);
    PrintAnsiLine(title);
    return 0;
}

int CmdWaitGone(const Selector& sel) {
    while (FindTopLevel(sel)) {
        if (!TimeLeft()) {
            Fail("the window is still there");
            return 1;
        }
        Sleep(kPollMs);
    }
    return 0;
}

// Conditions of wait-control: visible, hidden, enabled, disabled, text=T.
bool ControlMeets(HWND control, const Args& args, int first) {
    for (int i = first; i < args.count; ++i) {
        const WCHAR* c = args.values[i];
        LONG style = GetWindowLongA(control, GWL_STYLE);
        if (!wcscmp(c, L"visible")) {
            if (!IsWindowVisible(control)) return false;
        } else if (!wcscmp(c, L"hidden")) {
            if (style & WS_VISIBLE) return false;
        } else if (!wcscmp(c, L"enabled")) {
            if (!IsWindowEnabled(control)) return false;
        } else if (!wcscmp(c, L"disabled")) {
            if (IsWindowEnabled(control)) return false;
        } else if (!wcsncmp(c, L"text=", 5)) {
            char want[kTextMax], have[kTextMax];
            WideToAnsi(c + 5, want, sizeof want);
            if (!GetText(control, have, sizeof have) || strcmp(want, have) != 0) return false;
        }
    }
    return true;
}

bool ConditionsValid(const Args& args, int first) {
    for (int i = first; i < args.count; ++i) {
        const WCHAR* c = args.values[i];
        if (wcscmp(c, L"visible") && wcscmp(c, L"hidden") && wcscmp(c, L"enabled") &&
            wcscmp(c, L"disabled") && wcsncmp(c, L"text=", 5))
            return false;
    }
    return true;
}

int CmdWaitControl(const Selector& sel, int id, const Args& args, int first) {
    if (!ConditionsValid(args, first)) {
        Fail("conditions: visible hidden enabled disabled text=T");
        return 2;
    }
    HWND last = NULL;
    for (;;) {
        HWND control = WaitControl(sel, id);
        if (control) {
            last = control;
            if (ControlMeets(control, args, first)) return 0;
        }
        if (!TimeLeft()) break;
        Sleep(kPollMs);
    }
    if (!last) {
        Fail("no control %d", id);
    } else {
        char text[kTextMax];
        static char utf8[kTextMax * 3];
        GetText(last, text, sizeof text);
        AnsiToUtf8(text, utf8, sizeof utf8);
        Fail("control %d: conditions not met (%s%s, text \"%s\")", id,
             IsWindowVisible(last) ? "visible" : "hidden",
             IsWindowEnabled(last) ? ", enabled" : ", disabled", utf8);
    }
    return 1;
}

HWND ControlOrFail(const Selector& sel, int id) {
    HWND control = WaitControl(sel, id);
    if (!control) Fail("no control %d", id);
    return control;
}

int CmdGetText(const Selector& sel, int id, bool hex) {
    HWND control = ControlOrFail(sel, id);
    if (!control) return 1;
    char text[kTextMax];
    if (!GetText(control, text, sizeof text)) {
        Fail("control %d does not answer", id);
        return 1;
    }
    if (!hex) {
        PrintAnsiLine(text);
        return 0;
    }
    for (const char* p = text; *p; ++p) Print("%02x", (unsigned char)*p);
    Print("\n");
    return 0;
}

int CmdSetText(const Selector& sel, int id, const WCHAR* wide) {
    HWND control = ControlOrFail(sel, id);
    if (!control) return 1;
    char text[kTextMax];
    WideToAnsi(wide, text, sizeof text);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)text, SMTO_NORMAL, kSendTimeoutMs,
                             &result) ||
        !result) {
        Fail("control %d refused the text", id);
        return 1;
    }
    return 0;
}

// A real click: the button itself decides (a disabled one ignores it).
int CmdClick(const Selector& sel, int id) {
    HWND control = ControlOrFail(sel, id);
    if (!control) return 1;
    return PostMessageA(control, BM_CLICK, 0, 0) ? 0 : 1;
}

// The command a click would send, straight to the control's parent.
int CmdCommand(const Selector& sel, int id) {
    HWND control = ControlOrFail(sel, id);
    if (!control) return 1;
    return PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control)
               ? 0
               : 1;
}

int CmdProgress(const Selector& sel, int id) {
    HWND control = ControlOrFail(sel, id);
    if (!control) return 1;
    DWORD_PTR pos = 0;
    if (!SendMessageTimeoutA(control, PBM_GETPOS, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &pos)) {
        Fail("control %d does not answer", id);
        return 1;
    }
    Print("%d\n", (int)pos);
    return 0;
}

int CmdRect(const Selector& sel, int id) {
    HWND control = ControlOrFail(sel, id);
    if (!control) return 1;
    RECT r;
    if (!GetWindowRect(control, &r)) return 1;
    Print("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

// Waits for a message box and prints its text; then presses the button
// named (ok also takes the Cancel button of a box that has no OK).
int CmdMessageBox(Selector sel, const WCHAR* press) {
    sel.messageBox = true;
    HWND box = WaitTopLevel(sel);
    if (!box) {
        Fail("no message box");
        return 1;
    }
    char text[kTextMax];
    GetText(FindControl(box, kMessageBoxTextId), text, sizeof text);
    PrintAnsiLine(text);
    if (!press) return 0;
    HWND button = NULL;
    if (!wcscmp(press, L"ok")) {
        button = FindControl(box, IDOK);
        if (!button) button = FindControl(box, IDCANCEL);
    } else if (!wcscmp(press, L"yes")) {
        button = FindControl(box, IDYES);
    } else if (!wcscmp(press, L"no")) {
        button = FindControl(box, IDNO);
    } else if (!wcscmp(press, L"cancel")) {
        button = FindControl(box, IDCANCEL);
    }
    if (!button) {
        Fail("the message box has no button '%ls'", press);
        return 1;
    }
    return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
}

// The window with the keyboard focus in the thread of a top-level window.
HWND FocusOf(HWND top) {
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(top, NULL);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) return info.hwndFocus;
    return top;
}

int CmdKey(const Selector& sel, const WCHAR* key) {
    HWND top = WaitTopLevel(sel);
    if (!top) {
        Fail("no matching window");
        return 1;
    }
    BOOL ok;
    if (!wcscmp(key, L"esc") || !wcscmp(key, L"enter")) {
        // Through the dialog's own loop, which turns them into IDCANCEL / the
        // default button's command.
        WPARAM vk = key[1] == L's' ? VK_ESCAPE : VK_RETURN;
        HWND focus = FocusOf(top);
        ok =
            PostMessageA(focus, WM_KEYDOWN, vk, 1) && PostMessageA(focus, WM_KEYUP, vk, 0xC0000001);
    } else if (!wcscmp(key, L"altf4")) {
        ok = PostMessageA(top, WM_SYSKEYDOWN, VK_F4, 0x20000001) &&
             PostMessageA(top, WM_SYSKEYUP, VK_F4, 0xE0000001);
    } else if (!wcscmp(key, L"sysclose")) {
        ok = PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (!wcscmp(key, L"close")) {
        ok = PostMessageA(top, WM_CLOSE, 0, 0);
    } else {
        Fail("keys: esc enter altf4 sysclose close");
        return 2;
    }
    return ok ? 0 : 1;
}

int CmdTitle(const Selector& sel, bool hex) {
    HWND top = WaitTopLevel(sel);
    if (!top) {
        Fail("no matching window");
        return 1;
    }
    char title[kTextMax];
    if (!GetText(top, title, sizeof title)) {
        Fail("the window does not answer");
        return 1;
    }
    if (!hex) {
        PrintAnsiLine(title);
        return 0;
    }
    for (const char* p = title; *p; ++p) Print("%02x", (unsigned char)*p);
    Print("\n");
    return 0;
}

const char kUsage[] =
    "usage: winctl [--timeout SEC] [--title TEXT] [--class NAME|any] [--beside ID]\n"
    "              COMMAND [ARGS]\n"
    "  windows                      list the matching windows and their controls\n"
    "  wait-window                  wait for a matching window; print its title\n"
    "  wait-gone                    wait until no matching window is left\n"
    "  title | title-hex            the window's title (UTF-8 / ANSI bytes in hex)\n"
    "  wait-control ID [visible|hidden|enabled|disabled|text=T]...\n"
    "  get-text ID | get-text-hex ID\n"
    "  set-text ID TEXT\n"
    "  click ID                     BM_CLICK on a button\n"
    "  command ID                   WM_COMMAND of the control to its parent\n"
    "  progress ID                  a progress bar's position\n"
    "  rect ID                      a control's screen rectangle: left top right bottom\n"
    "  msgbox [ok|yes|no|cancel]    wait for a message box, print its text, press a button\n"
    "  key esc|enter|altf4|sysclose|close\n"
    "  syscommand ID                a system-menu command (WM_SYSCOMMAND)\n"
    "  sleep SEC                    just wait (a program to run from a folder)\n"
    "  drive-type ROOT              GetDriveType of a root such as R:\\ (3 fixed, 4 network)\n";

int Usage() {
    Write(kUsage, sizeof kUsage - 1);
    return 2;
}

int Run(const Args& args) {
    Selector sel;
    lstrcpyA(sel.className, "#32770");
    sel.title[0] = 0;
    sel.controlId = -1;
    sel.messageBox = false;
    int timeoutSec = 10;
    int i = 1;
    for (; i + 1 < args.count && !wcsncmp(args.values[i], L"--", 2); i += 2) {
        const WCHAR* value = args.values[i + 1];
        if (!wcscmp(args.values[i], L"--timeout")) {
            timeoutSec = _wtoi(value);
        } else if (!wcscmp(args.values[i], L"--title")) {
            WideToAnsi(value, sel.title, sizeof sel.title);
        } else if (!wcscmp(args.values[i], L"--beside")) {
            if (!ParseId(value, &g_besideId)) return Usage();
        } else if (!wcscmp(args.values[i], L"--class")) {
            WideToAnsi(value, sel.className, sizeof sel.className);
            if (!lstrcmpA(sel.className, "any")) sel.className[0] = 0;
        } else {
            return Usage();
        }
    }
    if (i >= args.count) return Usage();
    g_deadline = GetTickCount() + (DWORD)timeoutSec * 1000;
    const WCHAR* cmd = args.values[i];
    int rest = args.count - i - 1;
    int id = 0;
    bool hasId = rest >= 1 && ParseId(args.values[i + 1], &id);

    if (!wcscmp(cmd, L"windows")) return CmdWindows(sel);
    if (!wcscmp(cmd, L"wait-window")) return CmdWaitWindow(sel);
    if (!wcscmp(cmd, L"wait-gone")) return CmdWaitGone(sel);
    if (!wcscmp(cmd, L"title")) return CmdTitle(sel, false);
    if (!wcscmp(cmd, L"title-hex")) return CmdTitle(sel, true);
    if (!wcscmp(cmd, L"msgbox")) return CmdMessageBox(sel, rest >= 1 ? args.values[i + 1] : NULL);
    if (!wcscmp(cmd, L"key") && rest == 1) return CmdKey(sel, args.values[i + 1]);
    if (!wcscmp(cmd, L"drive-type") && rest == 1) {
        Print("%u\n", GetDriveTypeW(args.values[i + 1]));
        return 0;
    }
    if (!wcscmp(cmd, L"syscommand") && hasId) {
        HWND top = WaitTopLevel(sel);
        if (!top) {
            Fail("no matching window");
            return 1;
        }
        return PostMessageA(top, WM_SYSCOMMAND, (WPARAM)id, 0) ? 0 : 1;
    }
    if (!wcscmp(cmd, L"sleep") && rest == 1) {
        Sleep((DWORD)_wtoi(args.values[i + 1]) * 1000);
        return 0;
    }
    if (!hasId) return Usage();
    if (!wcscmp(cmd, L"wait-control")) return CmdWaitControl(sel, id, args, i + 2);
    if (!wcscmp(cmd, L"get-text")) return CmdGetText(sel, id, false);
    if (!wcscmp(cmd, L"get-text-hex")) return CmdGetText(sel, id, true);
    if (!wcscmp(cmd, L"set-text") && rest == 2) return CmdSetText(sel, id, args.values[i + 2]);
    if (!wcscmp(cmd, L"click")) return CmdClick(sel, id);
    if (!wcscmp(cmd, L"command")) return CmdCommand(sel, id);
    if (!wcscmp(cmd, L"progress")) return CmdProgress(sel, id);
    if (!wcscmp(cmd, L"rect")) return CmdRect(sel, id);
    return Usage();
}

}  // namespace

int main() {
    Args args;
    args.values = CommandLineToArgvW(GetCommandLineW(), &args.count);
    if (!args.values) return 2;
    int status = Run(args);
    LocalFree(args.values);
    return status;
}
