// 卸载.exe: removes what the installer made, as its appended record lists it,
// and the installation directory it stands in. See install/uninstall_options.h
// for the command line and uninstaller.h for the exit codes.
#include <windows.h>

#include <string.h>

#include "install/uninstall_guard.h"
#include "install/uninstall_options.h"
#include "uninstaller/texts.h"
#include "uninstaller/uninstaller.h"

namespace {

const int kRemovalPasses = 6;  // a file still held for a moment gets more tries
const DWORD kPassIntervalMs = 500;

// Everything one removal works from, checked before anything is touched.
struct Plan {
    uninstall::UninstallRecord record;
    char installFolder[kPathBytes];
    ProtectedFolders guarded;
    char title[kPathBytes + 16];
};

void Show(const Plan* plan, const char* text, UINT icon, int silent) {
    if (silent) return;
    MessageBoxA(nullptr, text, plan ? plan->title : texts::kTitle, MB_OK | icon | MB_SETFOREGROUND);
}

void ComposeTitle(Plan* plan) {
    TextBuffer title;
    ClearText(&title);
    if (plan->record.productName[0]) AppendText(&title, plan->record.productName);
    AppendText(&title, plan->record.productName[0] ? texts::kTitleSuffix : texts::kTitle);
    lstrcpynA(plan->title, title.text, sizeof(plan->title));
}

void ReportRefusedFolder(const Plan* plan, uninstall::FolderVerdict verdict, int silent) {
    TextBuffer text;
    ClearText(&text);
    AppendText(&text, verdict == uninstall::kFolderNotFullPath ? texts::kFolderInvalid
                                                               : texts::kFolderProtected);
    AppendText(&text, "\r\n");
    AppendText(&text, plan->installFolder);
    AppendText(&text, "\r\n\r\n");
    AppendText(&text, texts::kNothingRemoved);
    Show(plan, text.text, MB_ICONEXCLAMATION, silent);
}

// A folder that is a junction or stands below one names another folder: the
// removal empties that one, so it has to pass the same test. A link that
// cannot be followed is refused rather than taken at its word.
uninstall::FolderVerdict CheckResolvedFolder(const Plan* plan) {
    char resolved[kPathBytes];
    if (!ToFinalPath(plan->installFolder, resolved)) {
        DWORD attributes = GetFileAttributesA(plan->installFolder);
        int isLink =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        return isLink ? uninstall::kFolderProtected : uninstall::kFolderRemovable;
    }
    int which = -1;
    return uninstall::CheckFolderRemoval(resolved, plan->guarded.list, plan->guarded.count,
                                         IsSystemLeadByte, &which);
}

// Reads the record of the uninstaller at programPath and decides whether its
// folder may go. Returns kExitDone to go on, or the exit code to end with.
int Prepare(const char* programPath, int silent, Plan* plan) {
    if (!LoadRecordFromProgram(programPath, &plan->record)) {
        TextBuffer text;
        ClearText(&text);
        AppendText(&text, texts::kRecordDamaged);
        AppendText(&text, "\r\n");
        AppendText(&text, texts::kNothingRemoved);
        Show(nullptr, text.text, MB_ICONEXCLAMATION, silent);
        return kExitNoRecord;
    }
    ComposeTitle(plan);

    char folder[kPathBytes];
    if (!uninstall::ParentFolder(programPath, IsSystemLeadByte, folder)) folder[0] = '\0';
    // Compare long names: "C:\PROGRA~1" is "C:\Program Files".
    ToLongPath(folder, plan->installFolder);
    CollectProtectedFolders(&plan->guarded);
    int which = -1;
    uninstall::FolderVerdict verdict = uninstall::CheckFolderRemoval(
        plan->installFolder, plan->guarded.list, plan->guarded.count, IsSystemLeadByte, &which);
    if (verdict == uninstall::kFolderRemovable) verdict = CheckResolvedFolder(plan);
    if (verdict != uninstall::kFolderRemovable) {
        ReportRefusedFolder(plan, verdict, silent);
        return kExitRefused;
    }
    return kExitDone;
}

int Confirm(const Plan* plan) {
    TextBuffer text;
    ClearText(&text);
    AppendText(&text, texts::kConfirmBefore);
    AppendText(&text, plan->record.productName);
    if (plan->record.version[0]) {
        AppendText(&text, " ");
        AppendText(&text, plan->record.version);
    }
    AppendText(&text, texts::kConfirmAfter);
    // Everything in the folder goes, also what the user put there himself:
    // the user sees which folder before saying yes.
    AppendText(&text, "\r\n\r\n");
    AppendText(&text, texts::kConfirmFolder);
    AppendText(&text, "\r\n");
    AppendText(&text, plan->installFolder);
    return MessageBoxA(nullptr, text.text, plan->title,
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND) == IDYES;
}

int RemoveEverything(const Plan* plan, int silent) {
    Leftovers leftovers;
    ClearLeftovers(&leftovers);
    RemoveShortcuts(plan->record, &leftovers);
    RemoveMenuFolder(plan->record.menuFolder, plan->guarded);
    Leftovers inFolder;
    for (int pass = 0; pass < kRemovalPasses; ++pass) {
        if (pass) Sleep(kPassIntervalMs);
        ClearLeftovers(&inFolder);
        RemoveFolderTree(plan->installFolder, &inFolder);
        if (inFolder.count == 0) break;
    }
    int left = leftovers.count + inFolder.count;
    if (left == 0) {
        TextBuffer text;
        ClearText(&text);
        AppendText(&text, plan->record.productName);
        AppendText(&text, texts::kDone);
        Show(plan, text.text, MB_ICONINFORMATION, silent);
        return kExitDone;
    }
    TextBuffer text;
    ClearText(&text);
    AppendText(&text, texts::kLeftovers);
    AppendText(&text, "\r\n\r\n");
    AppendText(&text, leftovers.list.text);
    AppendText(&text, inFolder.list.text);
    int listed = leftovers.listed + inFolder.listed;
    if (left > listed) {
        AppendText(&text, texts::kMoreBefore);
        AppendNumber(&text, static_cast<unsigned>(left - listed));
        AppendText(&text, texts::kMoreAfter);
    }
    Show(plan, text.text, MB_ICONEXCLAMATION, silent);
    return kExitLeftovers;
}

// Started by the user (or a script) in the installation directory.
int RunFromInstallation(const uninstall::UninstallOptions& options, Plan* plan) {
    char self[kPathBytes];
    DWORD n = GetModuleFileNameA(nullptr, self, kPathBytes);
    if (n == 0 || n >= static_cast<DWORD>(kPathBytes)) self[0] = '\0';
    int prepared = Prepare(self, options.silent, plan);
    if (prepared != kExitDone) return prepared;
    if (!options.silent && !Confirm(plan)) return kExitCancelled;
    if (HandOverToTempCopy(self, options.silent)) return kExitDone;
    // No copy could run: remove what can go from here; this program's own
    // file and its folder are reported as left.
    return RemoveEverything(plan, options.silent);
}

// The copy in %TEMP%, working for the uninstaller that started it.
int RunAsCopy(const uninstall::UninstallOptions& options, Plan* plan) {
    WaitForProcessEnd(options.parentProcessId);
    int result = Prepare(options.originalPath, options.silent, plan);
    if (result == kExitDone) result = RemoveEverything(plan, options.silent);
    if (!options.copyDeletedOnExit) ScheduleOwnDeletion();
    return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static Plan plan;  // large: keep it off the stack
    uninstall::UninstallOptions options;
    if (!uninstall::ParseUninstallOptions(GetCommandLineA(), &options)) {
        Show(nullptr, texts::kBadCommandLine, MB_ICONEXCLAMATION, options.silent);
        return kExitBadCommandLine;
    }
    if (options.parentProcessId) return RunAsCopy(options, &plan);
    return RunFromInstallation(options, &plan);
}
