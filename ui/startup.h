// The installer's start-up, from reading the payload to running the wizard.
#pragma once

class CSetupInfo;

namespace ui {

// What start-up needs of the program around it.
class CStartupShell {
  public:
    virtual ~CStartupShell() = default;
    virtual void ShowMessage(const char* text) = 0;
    virtual void RunWizard() = 0;  // modal; returns when the wizard has ended
};

// Reads the payload at kPayloadOffset of the executable into info: 1 when
// the whole payload was read and the file holds it undamaged.
int ReadPayload(const char* exePath, CSetupInfo& info);

// Removes the default directory when it is empty, else makes it when it is
// missing (one level): a directory left empty by an earlier attempt goes away.
void PrepareDefaultDirectory(const char* dir);

// Reads the payload, prepares the default directory and runs the wizard.
// A payload that cannot be read is told in a message box and no wizard is
// shown. Returns 1 when the wizard ran.
int RunStartup(const char* exePath, CSetupInfo& info, CStartupShell& shell);

}  // namespace ui
