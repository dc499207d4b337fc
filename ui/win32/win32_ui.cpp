#include "ui/win32/win32_ui.h"

#include <shlobj.h>
#include <string.h>

#include "payload/setup_info.h"
#include "platform/platform.h"
#include "ui/picture.h"

namespace win32 {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

const char* AppTitle() {
    static char title[plat::kMaxPath];
    if (title[0] == '\0') {
        char path[plat::kMaxPath];
        DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        if (n == 0 || n >= sizeof path) return "setup";
        const char* name = path;
        for (const char* p = path; *p; p = CharNextA(p))
            if (*p == '\\') name = p + 1;
        lstrcpynA(title, name, sizeof title);
        char* dot = strrchr(title, '.');
        if (dot && dot != title) *dot = '\0';
    }
    return title;
}

void AppMessageBox(HWND owner, const char* text) {
    MessageBoxA(owner, text, AppTitle(), MB_OK | MB_ICONEXCLAMATION);
}

void DrawPicture(const uint8_t* picture, int32_t size, HWND control) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    ui::PictureLayout layout;
    // Its headers must agree with the length the reader decoded.
    if (dc && ui::GetPictureLayout(picture, size, &layout)) {
        // The system reads whole rows; the zeroed buffer has room for all of
        // them even when the picture declares fewer pixel bytes.
        void* pixels = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kMaxImageBytes);
        if (pixels) {
            BITMAPINFO info;
            memset(&info, 0, sizeof info);
            memcpy(&info.bmiHeader, picture + ui::kBmpFileHeaderSize, ui::kBmpInfoHeaderSize);
            memcpy(pixels, picture + layout.pixelOffset, layout.pixelBytes);
            SetDIBitsToDevice(dc, 0, 0, layout.width, layout.height, 0, 0, 0, layout.height, pixels,
                              &info, DIB_RGB_COLORS);
            HeapFree(GetProcessHeap(), 0, pixels);
        }
    }
    EndPaint(control, &paint);
}

int BrowseForFolder(const char* title, char* path) {
    BROWSEINFOA browse;
    memset(&browse, 0, sizeof browse);
    browse.pszDisplayName = path;
    browse.lpszTitle = title;
    LPITEMIDLIST item = SHBrowseForFolderA(&browse);
    if (!item) return 0;
    // An item that is no file-system folder has no path.
    if (!SHGetPathFromIDListA(item, path)) path[0] = '\0';
    CoTaskMemFree(item);
    return 1;
}

}  // namespace win32
