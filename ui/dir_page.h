// The directory page (wizard step 1): an edit box with the installation
// directory and a button that picks a folder with the shell's browser.
#pragma once

#include "platform/platform.h"

class CSetupInfo;

namespace ui {

class CWindowSystem;

// The browsed folder joined with the last component of the default
// directory (the text after its last backslash), one backslash between
// them. Returns 0, and leaves out empty, when the result exceeds 259 bytes.
int ComposeBrowsedPath(const char* chosen, const char* defaultDir, char out[plat::kMaxPath]);

}  // namespace ui

class CSetupProp2 {
  public:
    void Attach(CSetupInfo* info, ui::CWindowSystem* ws);

    void OnInitDialog();  // the edit box shows the directory in force
    void OnBrowse();
    bool CanLeave() const { return true; }

  private:
    CSetupInfo* m_pInfo = nullptr;
    ui::CWindowSystem* m_pWs = nullptr;
};
