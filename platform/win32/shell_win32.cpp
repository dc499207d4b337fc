// Special folders and shortcuts through the Windows shell and its link object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/platform.h"

namespace plat {

int GetSpecialFolder(int csidl, char path[kMaxPath]) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return 0;
    int result = 0;
    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) && list) {
        result = SHGetPathFromIDListA(list, path) ? 1 : 0;
        allocator->Free(list);
    }
    allocator->Release();
    return result;
}

int WriteShortcut(const char* linkPath, const char* target, const char* workDir,
                  const char* iconPath) {
    // Every call, so that the worker thread has COM whichever call comes
    // first; a thread that has it already is left as it is.
    CoInitialize(nullptr);

    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))) ||
        !link)
        return 0;
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) || !file) {
        link->Release();
        return 0;
    }

    // What goes wrong from here on leaves the file unwritten, but the link
    // object was there: the result stays 1.
    link->SetPath(target);
    link->SetWorkingDirectory(workDir);
    link->SetIconLocation(iconPath, 0);
    WCHAR widePath[kMaxPath];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kMaxPath) > 0)
        file->Save(widePath, TRUE);

    file->Release();
    link->Release();
    return 1;
}

}  // namespace plat
