// A stand-in for the installer's wizard with the same window layout (a
// #32770 dialog whose pages are child dialogs) and control ids, so that the
// Wine harness can prove itself without the real installer:
//   Next on step 0 shows the directory page, on step 1 the progress page,
//   whose timer clicks Next; the "installation" then fills the bar and writes
//   done.txt into the directory of edit box 1000 -- or, when that directory
//   contains "fail", shows the failure message box and closes.
#include <windows.h>
#include <commctrl.h>
#include <string.h>

namespace {

const char kTitle[] = "\xb2\xe2\xca\xd4\xb3\xcc\xd0\xf2 1.0 ";  // 测试程序 1.0
const char kStart[] = "\xbf\xaa\xca\xbc\xb0\xb2\xd7\xb0";       // 开始安装
const char kExit[] = "\xcd\xcb\xb3\xf6\xb0\xb2\xd7\xb0";        // 退出安装
const char kBack[] = "\xc9\xcf\xd2\xbb\xb2\xbd";                // 上一步
const char kNext[] = "\xcf\xc2\xd2\xbb\xb2\xbd";                // 下一步
const char kFinish[] = "\xcd\xea\xb3\xc9";                      // 完成
const char kStep1[] =
    "\xb5\xda\xd2\xbb\xb2\xbd\xa3\xba\xc8\xb7\xb6\xa8\xb0\xb2\xd7\xb0";  // 第一步：确定安装
const char kStep2[] =
    "\xb5\xda\xb6\xfe\xb2\xbd\xa3\xba\xd6\xb8\xb6\xa8\xc4\xbf\xc2\xbc";  // 第二步：指定目录
const char kStep3[] =
    "\xb5\xda\xc8\xfd\xb2\xbd\xa3\xba\xbd\xe2\xd1\xb9\xce\xc4\xbc\xfe";  // 第三步：解压文件
const char kBrowse[] = "\xe4\xaf\xc0\xc0";                               // 浏览
const char kSucceeded[] =
    "\xb0\xb2\xd7\xb0\xb3\xc9\xb9\xa6\xa1\xa1\xa1\xa1\xa1\xa1\xa1\xa1";  // 安装成功　　　　
const char kFailedBox[] = "\xb0\xb2\xd7\xb0\xca\xa7\xb0\xdc!";           // 安装失败!

const COLORREF kGrey = RGB(235, 235, 235);
const int kNextId = 1036, kBackId = 1041, kEditId = 1000, kBrowseId = 1001, kBarId = 1010,
          kLabelId = 1025, kStepLabelId = 1039, kDirLabelId = 1040;
const UINT_PTR kAdvanceTimer = 2, kFillTimer = 3;

// ------------------------------------------------ in-memory dialog templates

struct Template {
    WORD words[1024];
    int used;
    WORD* count;  // cdit of the header

    void Align() {
        if (used & 1) words[used++] = 0;
    }
    void Word(WORD w) { words[used++] = w; }
    void Long(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const WCHAR* s) {
        do Word(*s);
        while (*s++);
    }
    void Begin(DWORD style, short cx, short cy) {
        used = 0;
        Long(style | DS_SETFONT);
        Long(0);
        count = &words[used];
        Word(0);
        Word(0), Word(0), Word(cx), Word(cy);
        Word(0), Word(0), Text(L"");     // no menu, default class, no title
        Word(9), Text(L"\u5b8b\u4f53");  // 宋体
    }
    // cls: 0x80 button, 0x81 edit, 0x82 static, or 0 for a named class.
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
              const WCHAR* className = NULL) {
        Align();
        Long(style | WS_CHILD);
        Long(0);
        Word(x), Word(y), Word(cx), Word(cy), Word(id);
        if (cls)
            Word(0xFFFF), Word(cls);
        else
            Text(className);
        Text(L"");
        Word(0);
        ++*count;
    }
    LPCDLGTEMPLATEW Get() const { return (LPCDLGTEMPLATEW)words; }
};

Template g_main, g_dirPage, g_progressPage;

void BuildTemplates() {
    g_main.Begin(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE, 330, 213);
    g_main.Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 196, 194, 50, 14, kNextId, 0x80);
    g_main.Item(WS_VISIBLE | WS_TABSTOP, 261, 194, 50, 14, IDCANCEL, 0x80);
    g_main.Item(WS_VISIBLE, 19, 49, 65, 8, kStepLabelId, 0x82);
    g_main.Item(WS_TABSTOP, 144, 194, 50, 14, kBackId, 0x80);

    DWORD page = WS_CHILD | DS_CONTROL;
    g_dirPage.Begin(page, 330, 138);
    g_dirPage.Item(WS_VISIBLE | WS_TABSTOP, 201, 5, 26, 13, kBrowseId, 0x80);
    g_dirPage.Item(WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 88, 5, 109, 13, kEditId,
                   0x81);
    g_dirPage.Item(WS_VISIBLE, 19, 7, 66, 8, kDirLabelId, 0x82);

    g_progressPage.Begin(page, 330, 138);
    g_progressPage.Item(WS_BORDER, 89, 6, 222, 11, kBarId, 0, L"msctls_progress32");
    g_progressPage.Item(WS_VISIBLE, 19, 7, 65, 8, kLabelId, 0x82);
}

// ------------------------------------------------------------- the wizard

HWND g_dirWnd, g_progressWnd;
HBRUSH g_grey;
int g_step;
bool g_started, g_finished;

INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CTLCOLORDLG || msg == WM_CTLCOLORSTATIC) return (INT_PTR)g_grey;
    (void)hwnd;
    return FALSE;
}

void Show(HWND dlg, int id, bool show) {
    ShowWindow(GetDlgItem(dlg, id), show ? SW_SHOW : SW_HIDE);
}

void UpdateStep(HWND dlg) {
    ShowWindow(g_dirWnd, g_step == 1 ? SW_SHOW : SW_HIDE);
    ShowWindow(g_progressWnd, g_step == 2 ? SW_SHOW : SW_HIDE);
    Show(dlg, kStepLabelId, g_step == 0);
    Show(dlg, kBackId, g_step > 0 && !g_finished);
    SetDlgItemTextA(dlg, kNextId, g_step == 0 ? kStart : g_finished ? kFinish : kNext);
    if (g_finished) Show(dlg, IDCANCEL, false);
}

void WriteDoneFile(const char* dir) {
    char path[MAX_PATH];
    CreateDirectoryA(dir, NULL);
    lstrcpynA(path, dir, MAX_PATH - 10);
    lstrcatA(path, "\\done.txt");
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(f, "ok\r\n", 4, &written, NULL);
    CloseHandle(f);
}

void StartInstall(HWND dlg) {
    char dir[MAX_PATH];
    g_started = true;
    EnableWindow(GetDlgItem(dlg, kBackId), FALSE);
    EnableWindow(GetDlgItem(dlg, kNextId), FALSE);
    EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
    GetDlgItemTextA(g_dirWnd, kEditId, dir, sizeof dir);
    ShowWindow(GetDlgItem(g_progressWnd, kBarId), SW_SHOW);
    if (strstr(dir, "fail")) {
        MessageBoxA(dlg, kFailedBox, "testdlg", MB_OK | MB_ICONEXCLAMATION);
        EndDialog(dlg, IDOK);
        return;
    }
    SetTimer(dlg, kFillTimer, 100, NULL);
}

void OnFillTimer(HWND dlg) {
    HWND bar = GetDlgItem(g_progressWnd, kBarId);
    int pos = (int)SendMessageA(bar, PBM_GETPOS, 0, 0) + 20;
    SendMessageA(bar, PBM_SETPOS, pos, 0);
    if (pos < 100) return;
    KillTimer(dlg, kFillTimer);
    char dir[MAX_PATH];
    GetDlgItemTextA(g_dirWnd, kEditId, dir, sizeof dir);
    WriteDoneFile(dir);
    g_finished = true;
    ShowWindow(bar, SW_HIDE);
    SetDlgItemTextA(g_progressWnd, kLabelId, kSucceeded);
    EnableWindow(GetDlgItem(dlg, kNextId), TRUE);
    UpdateStep(dlg);
}

void OnNext(HWND dlg) {
    if (g_step < 2) {
        ++g_step;
        UpdateStep(dlg);
        if (g_step == 2) SetTimer(dlg, kAdvanceTimer, 100, NULL);
    } else if (g_finished) {
        EndDialog(dlg, IDOK);
    } else if (!g_started) {
        StartInstall(dlg);
    }
}

void OnInit(HWND dlg) {
    SetWindowTextA(dlg, kTitle);
    SetDlgItemTextA(dlg, kNextId, kStart);
    SetDlgItemTextA(dlg, IDCANCEL, kExit);
    SetDlgItemTextA(dlg, kBackId, kBack);
    SetDlgItemTextA(dlg, kStepLabelId, kStep1);
    g_dirWnd = CreateDialogIndirectParamW(NULL, g_dirPage.Get(), dlg, PageProc, 0);
    g_progressWnd = CreateDialogIndirectParamW(NULL, g_progressPage.Get(), dlg, PageProc, 0);
    RECT r;
    GetClientRect(dlg, &r);
    MoveWindow(g_dirWnd, 0, 63, r.right, r.bottom - 110, TRUE);
    MoveWindow(g_progressWnd, 0, 63, r.right, r.bottom - 110, TRUE);
    SetDlgItemTextA(g_dirWnd, kBrowseId, kBrowse);
    SetDlgItemTextA(g_dirWnd, kDirLabelId, kStep2);
    SetDlgItemTextA(g_dirWnd, kEditId, "C:\\Program Files\\TestDlg");
    SetDlgItemTextA(g_progressWnd, kLabelId, kStep3);
}

INT_PTR CALLBACK WizardProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            OnInit(dlg);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return (INT_PTR)g_grey;
        case WM_TIMER:
            if (wp == kAdvanceTimer) {
                KillTimer(dlg, kAdvanceTimer);
                PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(kNextId, BN_CLICKED),
                             (LPARAM)GetDlgItem(dlg, kNextId));
            } else if (wp == kFillTimer) {
                OnFillTimer(dlg);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == kNextId) OnNext(dlg);
            if (LOWORD(wp) == IDCANCEL && (!g_started || g_finished)) EndDialog(dlg, IDCANCEL);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    g_grey = CreateSolidBrush(kGrey);
    BuildTemplates();
    DialogBoxIndirectParamW(NULL, g_main.Get(), NULL, WizardProc, 0);
    DeleteObject(g_grey);
    return 0;
}
