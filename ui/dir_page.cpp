#include "ui/dir_page.h"

#include <string.h>

#include "install/install_log.h"
#include "install/path_join.h"
#include "payload/setup_info.h"
#include "res/resource.h"
#include "ui/texts.h"
#include "ui/window_system.h"

namespace ui {

int ComposeBrowsedPath(const char* chosen, const char* defaultDir, char out[plat::kMaxPath]) {
    const char* lastSlash = strrchr(defaultDir, '\\');
    return JoinPath(out, chosen, lastSlash ? lastSlash + 1 : "");
}

}  // namespace ui

void CSetupProp2::Attach(CSetupInfo* info, ui::CWindowSystem* ws) {
    m_pInfo = info;
    m_pWs = ws;
}

void CSetupProp2::OnInitDialog() {
    m_pWs->SetControlText(ui::kDirPageWindow, IDC_DIR_EDIT, m_pInfo->m_szInstallDir);
}

void CSetupProp2::OnBrowse() {
    WriteLog("Prop2 PreView begin");
    char path[plat::kMaxPath];
    path[0] = '\0';
    if (m_pWs->BrowseForFolder(texts::kBrowseTitle, path)) {
        // The last component comes from the directory in force, never from
        // the edit box, so browsing twice does not stack two components.
        // A choice too long for a path leaves the edit box as it was.
        char composed[plat::kMaxPath];
        if (ui::ComposeBrowsedPath(path, m_pInfo->m_szInstallDir, composed))
            m_pWs->SetControlText(ui::kDirPageWindow, IDC_DIR_EDIT, composed);
    }
    WriteLog("Prop2 PreView end");
}
