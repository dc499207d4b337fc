// Our small Win32 layer under the wizard: the application's message box,
// picture drawing, the folder browser, the progress bar.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <stdint.h>

#include "install/progress.h"

namespace win32 {

HINSTANCE Instance();

// The application's title: the program file's name without its extension.
const char* AppTitle();

// Modal, OK button, exclamation icon, the application's title as caption.
void AppMessageBox(HWND owner, const char* text);

// Draws an in-memory BMP at the top-left corner of a control. A picture the
// drawing cannot serve (absent, damaged, compressed, top-down, with a colour
// table) draws nothing.
void DrawPicture(const uint8_t* picture, int32_t size, HWND control);

// The shell's folder browser: no owner, the desktop as root. 1 and the path
// (kMaxPath bytes) when a folder was chosen, 0 on cancel.
int BrowseForFolder(const char* title, char* path);

// The page's progress bar, as the extraction run sees it.
class CProgressBar : public CProgressCtrl {
  public:
    void Attach(HWND bar) { m_hBar = bar; }
    void SetPos(int position) override { SendMessageA(m_hBar, PBM_SETPOS, position, 0); }
    int GetPos() override { return static_cast<int>(SendMessageA(m_hBar, PBM_GETPOS, 0, 0)); }

  private:
    HWND m_hBar = nullptr;
};

}  // namespace win32
