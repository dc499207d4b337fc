// The wizard: three steps (confirm, directory, progress), its buttons and
// pages, as plain logic over a window system.
#pragma once

#include <stdint.h>

#include "ui/dir_page.h"
#include "ui/progress_page.h"

class CSetupInfo;

namespace ui {
class CWindowSystem;

enum WizardStep { kStepConfirm = 0, kStepDirectory = 1, kStepProgress = 2 };

const unsigned kAboutCommand = 0x10;
const int kPageTopOffset = 63;

// Whether a system command opens the About box (its low four bits are flags).
inline bool IsAboutCommand(unsigned command) { return (command & 0xFFF0) == kAboutCommand; }

// "<product> <version> ", in a buffer of cap bytes.
void FormatWizardTitle(const CSetupInfo& info, char* title, int cap);
}  // namespace ui

class CSetupDlg {
  public:
    CSetupDlg(CSetupInfo* info, ui::CWindowSystem* ws);

    void OnNext();
    void OnBack();
    void UpdateStepControls();
    // Exit, Escape, Close: ends with IDCANCEL, but never while installing.
    void OnCancel();
    // Ends with IDOK, but never while installing.
    void OnOK();
    // Whether a request to close the wizard may be granted now.
    bool CanEnd() const { return !m_pageProgress.IsInstalling(); }

    int CheckTargetDir(const char* dir);

    CSetupProp2 m_pageDir;
    CSetupProp3 m_pageProgress;
    int32_t m_nStep = ui::kStepConfirm;

  private:
    void ShowConfirmStep();
    void ShowDirectoryStep();
    void ShowProgressStep();
    void ShowFinishedStep();

    ui::CWindowSystem* m_pWs;
};
