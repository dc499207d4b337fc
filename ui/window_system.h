// What the wizard's logic needs of a window system. The Win32 dialogs
// implement it in the program; the native tests implement it with a fake
// that records every operation.
#pragma once

namespace ui {

// The three windows of the wizard.
enum WindowRole { kWizardWindow = 0, kDirPageWindow = 1, kProgressPageWindow = 2 };

// Results of the wizard dialog.
const int kResultOk = 1;      // IDOK
const int kResultCancel = 2;  // IDCANCEL, also the id of the Exit button

// Timers, both on the progress page.
const int kProgressTimer = 1;  // polls the progress bar
const int kAdvanceTimer = 2;   // clicks Next once, to start the installation
const int kTimerPeriodMs = 100;

// Requests the worker thread leaves for the user-interface thread.
enum WorkerRequest { kRequestShowProgress = 1 };

class CWindowSystem {
  public:
    virtual ~CWindowSystem() = default;

    // Controls by id, on one of the wizard's windows.
    virtual void ShowControl(WindowRole window, int id, bool show) = 0;
    virtual void EnableControl(WindowRole window, int id, bool enable) = 0;
    virtual void SetControlText(WindowRole window, int id, const char* text) = 0;
    // Reads at most cap - 1 bytes and a terminating zero.
    virtual void GetControlText(WindowRole window, int id, char* text, int cap) = 0;

    // The pages as a whole.
    virtual void ShowPage(WindowRole page, bool show) = 0;
    // Repaints the page, background included.
    virtual void InvalidatePage(WindowRole page) = 0;

    // The wizard's Close command (system menu, Alt+F4).
    virtual void EnableCloseCommand(bool enable) = 0;

    virtual void StartTimer(int timerId, int milliseconds) = 0;
    virtual void StopTimer(int timerId) = 0;

    // Queues a click of the wizard's Next button, handled after the current message.
    virtual void PostNextClick() = 0;
    // Callable from any thread: the request reaches the progress page's
    // OnWorkerRequest on the user-interface thread.
    virtual void PostWorkerRequest(int request) = 0;

    virtual void EndWizard(int result) = 0;

    // Modal, OK button only.
    virtual void ShowMessage(const char* text) = 0;

    // The shell's folder chooser: fills path (kMaxPath bytes) and returns 1,
    // or returns 0 when the user cancels.
    virtual int BrowseForFolder(const char* title, char* path) = 0;
};

}  // namespace ui
