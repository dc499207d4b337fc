// mksetup install: runs an installer's installation on this host, with the
// installer's own engine, into a directory of the user's choice: the product
// files, the shortcuts (as .lnk files), the uninstaller with its record and
// the day's install log, exactly as on Windows after the wizard's last step.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "install/folders.h"
#include "install/install_log.h"
#include "install/progress.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/gbk_text.h"
#include "tools/mksetup/setup_file.h"

namespace {

const char kUsage[] = "install SETUP.exe --dir DIR [--desktop DIR] [--programs DIR]";

struct Options {
    std::string setup, dir, desktop, programs;
};

int UsageError(const char* what) {
    fprintf(stderr,
            "mksetup install: %s\nusage: mksetup %s\n"
            "  the shortcuts go to DIR-Desktop and DIR-Programs unless --desktop and\n"
            "  --programs name the folders that stand for the user's shell folders\n",
            what, kUsage);
    return 2;
}

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string* value = nullptr;
        if (arg == "--dir") value = &options->dir;
        if (arg == "--desktop") value = &options->desktop;
        if (arg == "--programs") value = &options->programs;
        if (value) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = arg + " needs a directory";
                return false;
            }
            *value = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (options->setup.empty()) {
            options->setup = arg;
        } else {
            *error = "more than one installer given";
            return false;
        }
    }
    if (options->setup.empty()) *error = "no installer given";
    if (!options->setup.empty() && options->dir.empty()) *error = "--dir is required";
    return error->empty();
}

// The installer works on full paths: a relative one would be taken from
// wherever the recursion of the folder creation stops.
std::string AbsoluteHostPath(const std::string& path) {
    std::string absolute = path;
    if (absolute[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) absolute = std::string(cwd) + "/" + path;
    }
    while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
    return absolute;
}

// A host directory as the core's path, within one path buffer.
bool DirectoryToAnsi(const std::string& host, std::string* ansi, std::string* error) {
    if (!HostPathToAnsi(host, ansi, error)) return false;
    if (ansi->size() >= static_cast<size_t>(plat::kMaxPath)) {
        *error = "the path takes " + std::to_string(ansi->size()) +
                 " bytes in code page 936; the installer holds at most 259";
        return false;
    }
    return true;
}

// The progress bar of the installer's last page, drawn on stderr: one bar
// redrawn in place on a terminal, otherwise one line per new position.
class TerminalProgress : public CProgressCtrl {
  public:
    explicit TerminalProgress(bool terminal) : m_bTerminal(terminal) {}

    void SetPos(int position) override {
        m_nPos = position;
        if (position == m_nShown) return;
        m_nShown = position;
        if (!m_bTerminal) {
            fprintf(stderr, "progress %d\n", position);
            return;
        }
        const int kWidth = 40;
        int filled = position * kWidth / 100;
        if (filled < 0) filled = 0;
        if (filled > kWidth) filled = kWidth;
        fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), position);
        fflush(stderr);
    }

    int GetPos() override { return m_nPos; }

    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish() {
        if (m_bTerminal && m_nShown >= 0) fputc('\n', stderr);
    }

  private:
    bool m_bTerminal;
    int m_nPos = 0;
    int m_nShown = -1;
};

std::string TodaysLogPath(const char* ansiDir) {
    plat::LocalTime today;
    plat::GetLocalTimeSeconds(&today);
    char ansi[plat::kMaxPath], host[4096];
    if (!GetLogFilePath(ansi, sizeof ansi, ansiDir, today) ||
        !plat::AnsiToHost(ansi, host, sizeof host))
        return std::string();
    return host;
}

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

// The run's own last log line, without its time, as the reason to show.
std::string LastLoggedSince(const std::string& logPath, long offset) {
    Bytes log;
    std::string ignored;
    if (logPath.empty() || !ReadFileBytes(logPath, &log, &ignored)) return std::string();
    if (offset < 0 || static_cast<size_t>(offset) > log.size()) offset = 0;
    std::string text(log.begin() + offset, log.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t start = text.find_last_of('\n');
    std::string line = text.substr(start == std::string::npos ? 0 : start + 1);
    const size_t kTimeWidth = 15;  // "hh:mm:ss:mmmm  "
    return line.size() > kTimeWidth ? GbkToUtf8Lossy(line.substr(kTimeWidth)) : std::string();
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Stands in for one of the user's shell folders, which always exist on Windows.
bool PrepareShellFolder(int csidl, const std::string& host, std::string* error) {
    std::string ansi;
    if (!DirectoryToAnsi(host, &ansi, error)) return false;
    if (!folders::CreateFolder(ansi.c_str())) {
        *error = "cannot create the folder";
        return false;
    }
    plat::SetSpecialFolder(csidl, ansi.c_str());
    return true;
}

int RunInstall(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!ParseOptions(args, &options, &error)) return UsageError(error.c_str());

    const std::string dir = AbsoluteHostPath(options.dir);
    const std::string desktop =
        AbsoluteHostPath(options.desktop.empty() ? dir + "-Desktop" : options.desktop);
    const std::string programs =
        AbsoluteHostPath(options.programs.empty() ? dir + "-Programs" : options.programs);

    CSetupInfo info;
    std::string setupAnsi, dirAnsi;
    if (!LoadSetup(options.setup, &info, &error) ||
        !HostPathToAnsi(options.setup, &setupAnsi, &error)) {
        ReportError(options.setup, error);
        return 1;
    }
    if (!DirectoryToAnsi(dir, &dirAnsi, &error)) {
        ReportError(dir, error);
        return 1;
    }
    if (!PrepareShellFolder(plat::kFolderDesktop, desktop, &error)) {
        ReportError(desktop, error);
        return 1;
    }
    if (!PrepareShellFolder(plat::kFolderPrograms, programs, &error)) {
        ReportError(programs, error);
        return 1;
    }

    // As the progress page does before it starts the worker: the chosen
    // directory, made ready so that the run's first log line has a place
    // (the run reports when it cannot be made), the log that follows it,
    // the bar.
    strcpy(info.m_szInstallDir, dirAnsi.c_str());
    folders::CreateFolder(info.m_szInstallDir);
    SetLogOwner(&info);
    TerminalProgress progress(isatty(STDERR_FILENO) != 0);
    g_pProgressCtrl = &progress;
    const std::string logPath = TodaysLogPath(info.m_szInstallDir);
    const long logStart = FileSize(logPath);

    // The worker opens the executable afresh, as the installer's does.
    CFileStream in;
    int ok = in.Open(setupAnsi.c_str(), CFileStream::kRead) ? info.ExtraFileFromInfo(in) : 0;
    in.Close();
    progress.Finish();
    g_pProgressCtrl = nullptr;

    if (!ok) {
        std::string reason = LastLoggedSince(logPath, logStart);
        WriteLog("Thread ExtraFileFromInfo Error");
        SetLogOwner(nullptr);
        if (!IsDirectory(dir))
            reason = "the installation directory cannot be created";
        else if (reason.empty())
            reason = "see the install log";
        ReportError(options.setup, "installation failed: " + reason);
        if (IsDirectory(dir)) fprintf(stderr, "mksetup: install log: %s\n", logPath.c_str());
        return 1;
    }
    SetLogOwner(nullptr);
    printf("installed %s %s into %s\n", GbkToUtf8Lossy(info.m_szProductName).c_str(),
           GbkToUtf8Lossy(info.m_szVersion).c_str(), dir.c_str());
    return 0;
}

const CommandRegistration kRegistration({"install", kUsage,
                                         "install the product into DIR as the installer does",
                                         RunInstall});

}  // namespace
