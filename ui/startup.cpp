#include "ui/startup.h"

#include "install/install_log.h"
#include "payload/integrity.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "ui/texts.h"

namespace ui {

int ReadPayload(const char* exePath, CSetupInfo& info) {
    CFileStream exe;
    exe.Open(exePath, CFileStream::kRead);
    exe.Seek(kPayloadOffset);
    int result = info.ReadHeader(exe);
    // A cut-off or damaged download reads as a payload with empty fields;
    // the record behind the payload tells it from a sound one, as a
    // download checker would, before anything is shown.
    if (result) result = CheckIntegrity(exe, PayloadEnd(info));
    exe.Close();
    return result;
}

void PrepareDefaultDirectory(const char* dir) {
    if (!plat::RemoveEmptyDirectory(dir)) plat::CreateOneDirectory(dir);
}

int RunStartup(const char* exePath, CSetupInfo& info, CStartupShell& shell) {
    SetLogOwner(&info);
    // A damaged payload would give a wizard with missing names and pictures
    // and an installation bound to fail: say so and stop instead.
    if (!ReadPayload(exePath, info)) {
        shell.ShowMessage(texts::kPayloadDamaged);
        return 0;
    }
    PrepareDefaultDirectory(info.m_szInstallDir);
    shell.RunWizard();
    return 1;
}

}  // namespace ui
