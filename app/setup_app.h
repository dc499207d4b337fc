// The application object: the payload record for the whole run, and the
// start-up that reads it and runs the wizard.
#pragma once

#include <windows.h>

#include "payload/setup_info.h"

class CSetupApp {
  public:
    CSetupApp() = default;
    CSetupApp(const CSetupApp&) = delete;
    CSetupApp& operator=(const CSetupApp&) = delete;

    // The installer's whole life; FALSE, so that the program ends.
    BOOL InitInstance();

    CSetupInfo m_info;
};

// The one application object.
extern CSetupApp theApp;
