#include "ui/progress_page.h"

#include <string.h>

#include "install/install_log.h"
#include "install/progress.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "res/resource.h"
#include "ui/setup_dlg.h"
#include "ui/texts.h"
#include "ui/window_system.h"

CSetupInfo* g_pSetupInfo = nullptr;

namespace {

int RunExtraction(CSetupInfo* info, CFileStream& exe) { return info->ExtraFileFromInfo(exe); }

// The banner for a position: image 2 below half way, image 3 from there on;
// a position outside the bar's range keeps the current one.
int32_t BannerForPosition(int position, int32_t current) {
    if (position >= 0 && position < 50) return kImageProgressLow;
    if (position >= 50 && position <= 100) return kImageProgressHigh;
    return current;
}

}  // namespace

void CSetupProp3::Attach(CSetupDlg* wizard, CSetupInfo* info, ui::CWindowSystem* ws) {
    m_pWizard = wizard;
    m_pInfo = info;
    m_pWs = ws;
    m_pfnRun = RunExtraction;
    m_pfnStartThread = plat::StartThread;
}

int CSetupProp3::OnCreate() {
    m_pWs->StartTimer(ui::kProgressTimer, ui::kTimerPeriodMs);
    return 0;
}

void CSetupProp3::OnInitDialog(CProgressCtrl* bar) {
    g_pProgressCtrl = bar;
    if (bar) bar->SetPos(0);
}

void CSetupProp3::OnTimer(int timerId) {
    if (timerId == ui::kAdvanceTimer) {
        m_pWs->StopTimer(ui::kAdvanceTimer);
        m_pWs->PostNextClick();
        return;
    }
    if (timerId != ui::kProgressTimer) return;

    int position = g_pProgressCtrl ? g_pProgressCtrl->GetPos() : 0;
    int32_t image = BannerForPosition(position, m_nImage);
    if (image != m_nImage) {
        m_nImage = image;
        m_pWs->InvalidatePage(ui::kProgressPageWindow);
    }
    // The worker's result decides, not the bar: a run can fail after the
    // bar has reached 100, and a run that unpacked nothing never moves it.
    if (m_bEndReported || !m_bFinished.load(std::memory_order_acquire)) return;
    m_bEndReported = true;
    if (m_nResult.load(std::memory_order_acquire) == kRunSucceeded)
        ShowSuccess();
    else
        ExitDialog_Install();
}

void CSetupProp3::OnWorkerRequest(int request) {
    // A request that arrives after the end was shown is stale: the bar stays hidden.
    if (request == ui::kRequestShowProgress && !m_bEndReported)
        m_pWs->ShowControl(ui::kProgressPageWindow, IDC_PROGRESS, true);
}

void CSetupProp3::ShowSuccess() {
    m_pWs->StopTimer(ui::kProgressTimer);
    m_pWs->ShowControl(ui::kProgressPageWindow, IDC_PROGRESS, false);
    m_pWs->SetControlText(ui::kProgressPageWindow, IDC_PROGRESS_LABEL, texts::kInstallSucceeded);
    m_pWizard->UpdateStepControls();
}

void CSetupProp3::ExitDialog_Install() {
    WriteLog("ExitDialog_Install failed");
    m_pWs->StopTimer(ui::kProgressTimer);
    m_pWs->ShowControl(ui::kProgressPageWindow, IDC_PROGRESS, false);
    m_pWs->SetControlText(ui::kProgressPageWindow, IDC_PROGRESS_LABEL, texts::kInstallFailedLabel);
    m_pWs->ShowMessage(texts::kInstallFailedBox);
    m_pWs->StartTimer(ui::kAdvanceTimer, ui::kTimerPeriodMs);
}

// The directory typed on the directory page becomes the installation
// directory; when it changed, the day's log follows it.
void CSetupProp3::CommitInstallDir() {
    char oldDir[kFieldSize];
    memcpy(oldDir, m_pInfo->m_szInstallDir, sizeof oldDir);
    m_pWs->GetControlText(ui::kDirPageWindow, IDC_DIR_EDIT, m_pInfo->m_szInstallDir, kFieldSize);
    const char* newDir = m_pInfo->m_szInstallDir;
    if (strcmp(oldDir, newDir) == 0) return;

    // An empty directory is removed and a missing one made: the extraction
    // run creates the whole tree anyway, so neither result matters.
    if (!plat::RemoveEmptyDirectory(newDir)) plat::CreateOneDirectory(newDir);
    MoveLogFile(oldDir, newDir);
    plat::RemoveEmptyDirectory(oldDir);
    WriteLog("Remove old Folder Path");
}

int CSetupProp3::StartInstall() {
    // One installation per wizard: a click that arrives once it was
    // launched (the timer's posted click after a quick manual one) is ignored.
    if (m_bLaunched) return 0;
    m_bLaunched = true;

    WriteLog("Prop3 Next begin");
    m_pWs->EnableControl(ui::kWizardWindow, IDC_BACK, false);
    m_pWs->EnableControl(ui::kWizardWindow, IDC_NEXT, false);
    m_pWs->EnableControl(ui::kWizardWindow, ui::kResultCancel, false);
    CommitInstallDir();

    if (!m_pWizard->CheckTargetDir(m_pInfo->m_szInstallDir)) {
        m_pWs->EndWizard(ui::kResultOk);
        return 0;
    }
    m_pWs->EnableCloseCommand(false);
    g_pSetupInfo = m_pInfo;
    m_bStarted = true;
    if (!m_pfnStartThread(InstallThreadProc, this)) {
        // Without a worker the run can never end by itself: report it as a
        // failed installation, through the poll like any other failure.
        WriteLog("CreateThread failed");
        ReportRunEnd(kRunFailed);
        return 0;
    }
    WriteLog("Prop3 Next end");
    return 1;
}

// The result is published before the flag: whoever sees the flag sees the result.
void CSetupProp3::ReportRunEnd(int result) {
    m_nResult.store(result, std::memory_order_release);
    m_bFinished.store(true, std::memory_order_release);
}

void CSetupProp3::InstallThreadProc(void* param) {
    CSetupProp3* page = static_cast<CSetupProp3*>(param);
    // Windows belong to the user-interface thread: ask it to show the bar.
    page->m_pWs->PostWorkerRequest(ui::kRequestShowProgress);

    int succeeded;
    {
        char exePath[plat::kMaxPath];
        exePath[0] = '\0';
        plat::GetModulePath(exePath);
        // An executable that cannot be opened fails the run at its first read.
        CFileStream exe;
        exe.Open(exePath, CFileStream::kRead);
        succeeded = page->m_pfnRun(g_pSetupInfo, exe) != 0;
        exe.Close();
    }
    if (succeeded) {
        // A run that unpacked no entry never moved the bar.
        if (g_pProgressCtrl) g_pProgressCtrl->SetPos(100);
    } else {
        WriteLog("Thread ExtraFileFromInfo Error");
    }
    // The last touch of the page: after it the wizard may end at any time.
    page->ReportRunEnd(succeeded ? kRunSucceeded : kRunFailed);
}
