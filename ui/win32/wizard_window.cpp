#include "ui/win32/wizard_window.h"

#include "payload/setup_info.h"
#include "res/resource.h"
#include "ui/picture.h"

namespace win32 {
namespace {

// The worker's requests reach the progress page as this message.
const UINT kWorkerRequestMessage = WM_APP + 1;

// Red, green and blue alike, so the same in COLORREF order.
const COLORREF kBackground = ui::kBackgroundColor;

// The dialog's object, stored with its window when the window is created.
template <typename T>
T* FromWindow(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    return reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, DWLP_USER));
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// Labels and picture areas are drawn on the wizard's grey, with nothing
// erased behind them.
INT_PTR TransparentOnGrey(HDC dc) {
    SetBkColor(dc, kBackground);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

void FillBackground(HWND hwnd, HDC dc) {
    RECT window;
    GetWindowRect(hwnd, &window);
    RECT area = {0, 0, window.right - window.left, window.bottom - window.top};
    HBRUSH brush = CreateSolidBrush(kBackground);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

}  // namespace

CWizardWindow::CWizardWindow(CSetupInfo* info)
    : m_pInfo(info),
      m_dlg(info, this),
      m_hIcon(LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CWizardWindow::~CWizardWindow() {
    // The bar goes away with the window.
    if (g_pProgressCtrl == &m_bar) g_pProgressCtrl = nullptr;
}

INT_PTR CWizardWindow::DoModal() {
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_SETUP_DIALOG), nullptr, WizardProc,
                           reinterpret_cast<LPARAM>(this));
}

// --- Message dispatch ----------------------------------------------------------

INT_PTR CALLBACK CWizardWindow::WizardProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWizardWindow* self = FromWindow<CWizardWindow>(hwnd, message, lParam);
    if (!self) return FALSE;
    if (message == WM_INITDIALOG) self->m_hWnd = hwnd;
    return self->OnWizardMessage(message, wParam, lParam);
}

INT_PTR CALLBACK CWizardWindow::DirPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWizardWindow* self = FromWindow<CWizardWindow>(hwnd, message, lParam);
    if (!self) return FALSE;
    if (message == WM_INITDIALOG) self->m_hDirPage = hwnd;
    return self->OnDirPageMessage(message, wParam, lParam);
}

INT_PTR CALLBACK CWizardWindow::ProgressPageProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    CWizardWindow* self = FromWindow<CWizardWindow>(hwnd, message, lParam);
    if (!self) return FALSE;
    if (message == WM_INITDIALOG) self->m_hProgressPage = hwnd;
    return self->OnProgressPageMessage(message, wParam, lParam);
}

INT_PTR CWizardWindow::OnWizardMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_SYSCOMMAND: {
            INT_PTR handled = FALSE;
            OnSysCommand(wParam, lParam, &handled);
            return handled;
        }
        case WM_PAINT:
            OnPaint();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_CTLCOLORSTATIC: {
            int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id == IDC_HEADER_PICTURE || id == IDC_CONFIRM_PICTURE || id == IDC_PAGE_AREA ||
                id == IDC_CONFIRM_LABEL)
                return TransparentOnGrey(reinterpret_cast<HDC>(wParam));
            return FALSE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_NEXT:
                    m_dlg.OnNext();
                    return TRUE;
                case IDC_BACK:
                    m_dlg.OnBack();
                    return TRUE;
                case IDOK:
                    m_dlg.OnOK();
                    return TRUE;
                case IDCANCEL:  // Exit, Escape
                    m_dlg.OnCancel();
                    return TRUE;
            }
            return FALSE;
        case WM_CLOSE:  // the Close command, Alt+F4
            m_dlg.OnCancel();
            return TRUE;
    }
    return FALSE;
}

INT_PTR CWizardWindow::OnDirPageMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            m_dlg.m_pageDir.OnInitDialog();
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_BROWSE) m_dlg.m_pageDir.OnBrowse();
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_DIR_LABEL)
                return TransparentOnGrey(reinterpret_cast<HDC>(wParam));
            return FALSE;
        case WM_PAINT:
            PaintPage(m_hDirPage, kImageDirBanner);
            return TRUE;
    }
    return FALSE;
}

INT_PTR CWizardWindow::OnProgressPageMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            m_dlg.m_pageProgress.OnCreate();
            m_bar.Attach(GetDlgItem(m_hProgressPage, IDC_PROGRESS));
            m_dlg.m_pageProgress.OnInitDialog(&m_bar);
            return TRUE;
        case WM_TIMER:
            m_dlg.m_pageProgress.OnTimer(static_cast<int>(wParam));
            return TRUE;
        case kWorkerRequestMessage:
            m_dlg.m_pageProgress.OnWorkerRequest(static_cast<int>(wParam));
            return TRUE;
        case WM_COMMAND:
            return TRUE;  // the page has no commands; Enter and Escape belong to the wizard
        case WM_CTLCOLORSTATIC:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_PROGRESS_LABEL)
                return TransparentOnGrey(reinterpret_cast<HDC>(wParam));
            return FALSE;
        case WM_PAINT:
            PaintPage(m_hProgressPage, m_dlg.m_pageProgress.m_nImage);
            return TRUE;
    }
    return FALSE;
}

// --- Handlers --------------------------------------------------------------------

BOOL CWizardWindow::OnInitDialog() {
    CreatePages();
    AddAboutItem();
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    char title[2 * kFieldSize + 2];
    ui::FormatWizardTitle(*m_pInfo, title, sizeof title);
    SetWindowTextA(m_hWnd, title);
    PlacePages();
    return TRUE;
}

// Both pages exist, hidden, before the wizard is shown.
void CWizardWindow::CreatePages() {
    CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_DIR_PAGE), m_hWnd, DirPageProc,
                       reinterpret_cast<LPARAM>(this));
    CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_PROGRESS_PAGE), m_hWnd, ProgressPageProc,
                       reinterpret_cast<LPARAM>(this));
    ShowWindow(m_hDirPage, SW_HIDE);
    ShowWindow(m_hProgressPage, SW_HIDE);
}

void CWizardWindow::AddAboutItem() {
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (!menu) return;
    char text[256];
    if (LoadStringA(Instance(), IDS_ABOUTBOX, text, sizeof text) <= 0) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, ui::kAboutCommand, text);
}

// The pages cover the page area, a fixed 63 pixels down, above the
// wizard's own controls.
void CWizardWindow::PlacePages() {
    RECT area;
    GetClientRect(GetDlgItem(m_hWnd, IDC_PAGE_AREA), &area);
    HWND pages[] = {m_hDirPage, m_hProgressPage};
    for (HWND page : pages)
        SetWindowPos(page, HWND_TOP, area.left, area.top + ui::kPageTopOffset,
                     area.right - area.left, area.bottom - area.top, SWP_NOACTIVATE);
}

void CWizardWindow::OnSysCommand(WPARAM command, LPARAM, INT_PTR* handled) {
    if (ui::IsAboutCommand(static_cast<unsigned>(command))) {
        DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_ABOUTBOX), m_hWnd, AboutProc, 0);
        *handled = TRUE;
    } else if ((command & 0xFFF0) == SC_CLOSE && !m_dlg.CanEnd()) {
        *handled = TRUE;  // not while installing, though Alt+F4 ignores the greyed item
    }
}

void CWizardWindow::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (IsIconic(m_hWnd)) {
        SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        int cxIcon = GetSystemMetrics(SM_CXICON);
        int cyIcon = GetSystemMetrics(SM_CYICON);
        RECT client;
        GetClientRect(m_hWnd, &client);
        DrawIcon(dc, (client.right - client.left - cxIcon + 1) / 2,
                 (client.bottom - client.top - cyIcon + 1) / 2, m_hIcon);
    } else {
        FillBackground(m_hWnd, dc);
        DrawPicture(m_pInfo->m_pImages[kImageHeader], m_pInfo->m_nImageSizes[kImageHeader],
                    GetDlgItem(m_hWnd, IDC_HEADER_PICTURE));
        DrawPicture(m_pInfo->m_pImages[kImageConfirm], m_pInfo->m_nImageSizes[kImageConfirm],
                    GetDlgItem(m_hWnd, IDC_CONFIRM_PICTURE));
    }
    EndPaint(m_hWnd, &paint);
}

void CWizardWindow::PaintPage(HWND page, int image) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(page, &paint);
    FillBackground(page, dc);
    if (image >= 0 && image < kImageCount)
        DrawPicture(m_pInfo->m_pImages[image], m_pInfo->m_nImageSizes[image],
                    GetDlgItem(page, IDC_PAGE_PICTURE));
    EndPaint(page, &paint);
}

// --- Window operations for the logic ---------------------------------------

HWND CWizardWindow::Window(ui::WindowRole role) const {
    switch (role) {
        case ui::kDirPageWindow:
            return m_hDirPage;
        case ui::kProgressPageWindow:
            return m_hProgressPage;
        default:
            return m_hWnd;
    }
}

void CWizardWindow::ShowControl(ui::WindowRole window, int id, bool show) {
    ShowWindow(GetDlgItem(Window(window), id), show ? SW_SHOW : SW_HIDE);
}

void CWizardWindow::EnableControl(ui::WindowRole window, int id, bool enable) {
    EnableWindow(GetDlgItem(Window(window), id), enable ? TRUE : FALSE);
}

void CWizardWindow::SetControlText(ui::WindowRole window, int id, const char* text) {
    SetDlgItemTextA(Window(window), id, text);
}

void CWizardWindow::GetControlText(ui::WindowRole window, int id, char* text, int cap) {
    text[0] = '\0';
    GetDlgItemTextA(Window(window), id, text, cap);
}

void CWizardWindow::ShowPage(ui::WindowRole page, bool show) {
    ShowWindow(Window(page), show ? SW_SHOW : SW_HIDE);
}

void CWizardWindow::InvalidatePage(ui::WindowRole page) {
    InvalidateRect(Window(page), nullptr, TRUE);
}

void CWizardWindow::EnableCloseCommand(bool enable) {
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (menu) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void CWizardWindow::StartTimer(int timerId, int milliseconds) {
    SetTimer(m_hProgressPage, static_cast<UINT_PTR>(timerId), static_cast<UINT>(milliseconds),
             nullptr);
}

void CWizardWindow::StopTimer(int timerId) {
    KillTimer(m_hProgressPage, static_cast<UINT_PTR>(timerId));
}

void CWizardWindow::PostNextClick() {
    PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(m_hWnd, IDC_NEXT)));
}

void CWizardWindow::PostWorkerRequest(int request) {
    PostMessageA(m_hProgressPage, kWorkerRequestMessage, static_cast<WPARAM>(request), 0);
}

void CWizardWindow::EndWizard(int result) { EndDialog(m_hWnd, result); }

void CWizardWindow::ShowMessage(const char* text) { AppMessageBox(m_hWnd, text); }

int CWizardWindow::BrowseForFolder(const char* title, char* path) {
    return win32::BrowseForFolder(title, path);
}

}  // namespace win32
