// The progress page (wizard step 2): starts the installation on a worker
// thread and follows it by polling the progress bar.
#pragma once

#include <atomic>
#include <stdint.h>

#include "platform/platform.h"

class CFileStream;
class CProgressCtrl;
class CSetupDlg;
class CSetupInfo;

namespace ui {
class CWindowSystem;
}

// The record the worker installs from; set right before the worker starts.
extern CSetupInfo* g_pSetupInfo;

class CSetupProp3 {
  public:
    // The run the worker carries out, and how a thread is started: the
    // extraction run and the platform's thread unless a test replaces them.
    typedef int (*InstallRun)(CSetupInfo* info, CFileStream& exe);
    typedef int (*ThreadStarter)(plat::ThreadProc proc, void* arg);

    void Attach(CSetupDlg* wizard, CSetupInfo* info, ui::CWindowSystem* ws);
    void SetInstallRun(InstallRun run) { m_pfnRun = run; }
    void SetThreadStarter(ThreadStarter start) { m_pfnStartThread = start; }

    int OnCreate();                         // starts the poll; 0
    void OnInitDialog(CProgressCtrl* bar);  // the page's bar becomes g_pProgressCtrl
    void OnTimer(int timerId);
    void OnWorkerRequest(int request);
    bool CanLeave() const { return !IsInstalling(); }

    // 1 when the worker has been started; 0 when it was not (the checks
    // failed and the wizard is ending, the thread could not start, or the
    // installation had been started before).
    int StartInstall();
    // The failure report, on the user-interface thread.
    void ExitDialog_Install();
    static void InstallThreadProc(void* page);

    bool HasLaunched() const { return m_bLaunched; }
    // Until the poll has shown the run's result: a run that ends before the
    // poll sees it must not let a posted click or Escape end the wizard untold.
    bool IsInstalling() const { return m_bStarted && !m_bEndReported; }

    int32_t m_nImage = 2;
    // Set by the worker when the run has ended, after m_nResult.
    std::atomic<bool> m_bFinished{false};

  private:
    enum RunResult { kRunPending = 0, kRunSucceeded = 1, kRunFailed = 2 };

    void CommitInstallDir();
    void ShowSuccess();
    void ReportRunEnd(int result);

    CSetupDlg* m_pWizard = nullptr;
    CSetupInfo* m_pInfo = nullptr;
    ui::CWindowSystem* m_pWs = nullptr;
    InstallRun m_pfnRun = nullptr;
    ThreadStarter m_pfnStartThread = nullptr;

    std::atomic<int> m_nResult{kRunPending};
    bool m_bLaunched = false;     // StartInstall has run
    bool m_bStarted = false;      // a worker was started
    bool m_bEndReported = false;  // success or failure shown
};
