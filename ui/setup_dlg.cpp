#include "ui/setup_dlg.h"

#include <stdio.h>

#include "install/install_log.h"
#include "payload/setup_info.h"
#include "res/resource.h"
#include "ui/checks.h"
#include "ui/texts.h"
#include "ui/window_system.h"

using ui::kDirPageWindow;
using ui::kProgressPageWindow;
using ui::kWizardWindow;

namespace ui {

void FormatWizardTitle(const CSetupInfo& info, char* title, int cap) {
    snprintf(title, static_cast<size_t>(cap), "%s %s ", info.m_szProductName, info.m_szVersion);
}

}  // namespace ui

CSetupDlg::CSetupDlg(CSetupInfo* info, ui::CWindowSystem* ws) : m_pWs(ws) {
    m_pageDir.Attach(info, ws);
    m_pageProgress.Attach(this, info, ws);
}

void CSetupDlg::OnNext() {
    WriteLog("Instal Btn");
    switch (m_nStep) {
        case ui::kStepConfirm:
            m_nStep = ui::kStepDirectory;
            WriteLog("Install Step 1");
            UpdateStepControls();
            break;
        case ui::kStepDirectory:
            if (m_pageDir.CanLeave()) {
                m_nStep = ui::kStepProgress;
                WriteLog("Install Step 2");
                UpdateStepControls();
            }
            break;
        case ui::kStepProgress:
            if (!m_pageProgress.m_bFinished) {
                // The timer's click may follow a manual one: start only once.
                if (m_pageProgress.HasLaunched()) break;
                WriteLog("Install Step 3");
                m_pageProgress.StartInstall();
            } else if (m_pageProgress.CanLeave()) {
                WriteLog("Finish Install");
                OnOK();
            }
            break;
        default:
            break;
    }
}

void CSetupDlg::OnBack() {
    switch (m_nStep) {
        case ui::kStepDirectory:
            if (m_pageDir.CanLeave()) {
                m_nStep = ui::kStepConfirm;
                WriteLog("Back to Step 1");
                UpdateStepControls();
            }
            break;
        case ui::kStepProgress:
            if (m_pageProgress.CanLeave()) {
                m_nStep = ui::kStepDirectory;
                WriteLog("Back to Step 2");
                UpdateStepControls();
            }
            break;
        default:
            break;
    }
}

void CSetupDlg::OnCancel() {
    // Escape and the Close command reach here even with Exit disabled and
    // Close greyed: the installation must run to its end.
    if (!CanEnd()) return;
    m_pWs->EndWizard(ui::kResultCancel);
}

void CSetupDlg::OnOK() {
    if (!CanEnd()) return;
    m_pWs->EndWizard(ui::kResultOk);
}

int CSetupDlg::CheckTargetDir(const char* dir) { return ui::CheckTargetDir(dir, *m_pWs); }

void CSetupDlg::UpdateStepControls() {
    switch (m_nStep) {
        case ui::kStepConfirm:
            ShowConfirmStep();
            break;
        case ui::kStepDirectory:
            ShowDirectoryStep();
            break;
        case ui::kStepProgress:
            if (m_pageProgress.m_bFinished)
                ShowFinishedStep();
            else
                ShowProgressStep();
            break;
        default:
            break;
    }
}

void CSetupDlg::ShowConfirmStep() {
    m_pWs->ShowPage(kDirPageWindow, false);
    m_pWs->ShowPage(kProgressPageWindow, false);
    m_pWs->SetControlText(kWizardWindow, IDC_BACK, texts::kPrevious);
    m_pWs->SetControlText(kWizardWindow, IDC_NEXT, texts::kStartInstall);
    m_pWs->ShowControl(kWizardWindow, IDC_BACK, false);
    m_pWs->ShowControl(kWizardWindow, IDC_NEXT, true);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_PICTURE, true);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_LABEL, true);
}

void CSetupDlg::ShowDirectoryStep() {
    m_pWs->ShowPage(kDirPageWindow, true);
    m_pWs->ShowPage(kProgressPageWindow, false);
    m_pWs->EnableControl(kWizardWindow, IDC_BACK, false);
    m_pWs->EnableControl(kWizardWindow, IDC_NEXT, true);
    m_pWs->SetControlText(kWizardWindow, IDC_BACK, texts::kPrevious);
    m_pWs->SetControlText(kWizardWindow, IDC_NEXT, texts::kNext);
    m_pWs->ShowControl(kWizardWindow, IDC_BACK, true);
    m_pWs->ShowControl(kWizardWindow, IDC_NEXT, true);
    m_pWs->EnableControl(kWizardWindow, IDC_BACK, true);
    m_pWs->EnableControl(kWizardWindow, IDC_NEXT, true);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_PICTURE, false);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_LABEL, false);
}

void CSetupDlg::ShowProgressStep() {
    m_pWs->ShowPage(kDirPageWindow, false);
    m_pWs->ShowPage(kProgressPageWindow, true);
    m_pWs->SetControlText(kWizardWindow, IDC_BACK, texts::kPrevious);
    m_pWs->SetControlText(kWizardWindow, IDC_NEXT, texts::kNext);
    m_pWs->EnableControl(kWizardWindow, IDC_BACK, true);
    m_pWs->EnableControl(kWizardWindow, IDC_NEXT, true);
    m_pWs->StartTimer(ui::kAdvanceTimer, ui::kTimerPeriodMs);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_PICTURE, false);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_LABEL, false);
}

void CSetupDlg::ShowFinishedStep() {
    m_pWs->ShowPage(kDirPageWindow, false);
    m_pWs->ShowPage(kProgressPageWindow, true);
    m_pWs->SetControlText(kWizardWindow, IDC_BACK, texts::kPrevious);
    m_pWs->SetControlText(kWizardWindow, IDC_NEXT, texts::kFinish);
    m_pWs->ShowControl(kWizardWindow, ui::kResultCancel, false);
    m_pWs->EnableControl(kWizardWindow, IDC_BACK, false);
    m_pWs->EnableControl(kWizardWindow, IDC_NEXT, true);
    m_pWs->EnableCloseCommand(true);
    m_pWs->EnableControl(kWizardWindow, ui::kResultCancel, true);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_PICTURE, false);
    m_pWs->ShowControl(kWizardWindow, IDC_CONFIRM_LABEL, false);
}
