#include "app/setup_app.h"

#include <commctrl.h>
#include <objbase.h>

#include "platform/platform.h"
#include "ui/startup.h"
#include "ui/win32/win32_ui.h"
#include "ui/win32/wizard_window.h"

CSetupApp theApp;

namespace {

// Libraries loaded from now on come from the system folder only, never from
// the folder the installer was downloaded to. Systems before Windows 8
// without update KB2533623 lack the call.
void RestrictDllSearchPath() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(found))(
            kSearchSystem32);
    SetDllDirectoryA("");  // also drops the current directory on older systems
}

class CStartupShell : public ui::CStartupShell {
  public:
    explicit CStartupShell(CSetupInfo* info) : m_pInfo(info) {}
    void ShowMessage(const char* text) override { win32::AppMessageBox(nullptr, text); }
    void RunWizard() override {
        win32::CWizardWindow wizard(m_pInfo);
        wizard.DoModal();
    }

  private:
    CSetupInfo* m_pInfo;
};

}  // namespace

BOOL CSetupApp::InitInstance() {
    RestrictDllSearchPath();
    // The folder browser is a COM object of the shell.
    HRESULT com = CoInitialize(nullptr);
    // The progress bar's window class must exist before the pages are made.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    char exePath[plat::kMaxPath];
    DWORD n = GetModuleFileNameA(nullptr, exePath, sizeof exePath);
    if (n == 0 || n >= sizeof exePath) exePath[0] = '\0';  // the payload then fails to read
    CStartupShell shell(&m_info);
    ui::RunStartup(exePath, m_info, shell);

    if (SUCCEEDED(com)) CoUninitialize();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    theApp.InitInstance();
    return 0;
}
