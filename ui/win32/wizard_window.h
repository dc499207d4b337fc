// The wizard's windows: dialog 102 with its two child pages 108 and 109,
// the message handlers that feed the wizard's logic, and the window
// operations that logic asks for.
#pragma once

#include <windows.h>

#include "ui/setup_dlg.h"
#include "ui/win32/win32_ui.h"
#include "ui/window_system.h"

class CSetupInfo;

namespace win32 {

class CWizardWindow : public ui::CWindowSystem {
  public:
    explicit CWizardWindow(CSetupInfo* info);
    ~CWizardWindow() override;

    // Runs the wizard modally until it ends; its result.
    INT_PTR DoModal();

    // ui::CWindowSystem
    void ShowControl(ui::WindowRole window, int id, bool show) override;
    void EnableControl(ui::WindowRole window, int id, bool enable) override;
    void SetControlText(ui::WindowRole window, int id, const char* text) override;
    void GetControlText(ui::WindowRole window, int id, char* text, int cap) override;
    void ShowPage(ui::WindowRole page, bool show) override;
    void InvalidatePage(ui::WindowRole page) override;
    void EnableCloseCommand(bool enable) override;
    void StartTimer(int timerId, int milliseconds) override;
    void StopTimer(int timerId) override;
    void PostNextClick() override;
    void PostWorkerRequest(int request) override;
    void EndWizard(int result) override;
    void ShowMessage(const char* text) override;
    int BrowseForFolder(const char* title, char* path) override;

  private:
    static INT_PTR CALLBACK WizardProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DirPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK ProgressPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    INT_PTR OnWizardMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnDirPageMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnProgressPageMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog();
    void CreatePages();
    void AddAboutItem();
    void PlacePages();
    void OnSysCommand(WPARAM command, LPARAM lParam, INT_PTR* handled);
    void OnPaint();
    void PaintPage(HWND page, int image);

    HWND Window(ui::WindowRole role) const;

    CSetupInfo* m_pInfo;
    CSetupDlg m_dlg;
    CProgressBar m_bar;
    HICON m_hIcon;
    HWND m_hWnd = nullptr;
    HWND m_hDirPage = nullptr;
    HWND m_hProgressPage = nullptr;
};

}  // namespace win32
