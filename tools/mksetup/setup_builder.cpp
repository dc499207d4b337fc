#include "tools/mksetup/setup_builder.h"

#include <ctype.h>
#include <errno.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "payload/integrity.h"
#include "payload/setup_info.h"
#include "tools/mksetup/entry_names.h"
#include "tools/mksetup/lz_encoder.h"
#include "tools/mksetup/manifest.h"
#include "install/uninstaller_writer.h"
#include "tools/mksetup/picture_rules.h"
#include "tools/mksetup/progress_meter.h"
#include "tools/mksetup/setup_file.h"
#include "tools/mksetup/zip_check.h"
#include "tools/mksetup/zip_writer.h"

namespace {

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ProgramFolder() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    buffer[n] = '\0';
    return FolderOf(buffer);
}

bool FirstExisting(const std::vector<std::string>& candidates, std::string* path,
                   std::string* tried) {
    tried->clear();
    for (const std::string& c : candidates) {
        if (IsFile(c)) {
            *path = c;
            return true;
        }
        *tried += (tried->empty() ? "" : ", ") + c;
    }
    return false;
}

std::string Replaced(std::string s, char from, char to) {
    for (char& c : s)
        if (c == from) c = to;
    return s;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// One archive of the payload as the manifest gives it.
struct ArchiveInput {
    ManifestSetting setting;
    std::string hostPath;
    bool fromFolder = false;
    std::vector<ZipSource> entries;  // of a folder, to be zipped
    Bytes zip;                       // a ready archive, or the zipped folder
    std::vector<std::string> names;  // GBK entry names, either way
};

class SetupBuilder {
  public:
    SetupBuilder(const BuildOptions& options, Diagnostics* diagnostics)
        : m_options(options), m_diag(diagnostics), m_progress(options.quiet) {}

    bool Build(Bytes* image) {
        if (!ReadManifest(m_options.manifestPath, &m_manifest, m_diag)) return false;
        ConvertProduct();
        ConvertShortcuts();
        LoadStub();
        LoadUninstaller();
        LoadPictures();
        for (int k = 0; k < 2; ++k) PrepareArchive(k);
        CheckInstalledPaths();
        // Zipping is the long step: only for inputs that are sound otherwise.
        if (m_diag->HasErrors()) return false;
        PackItems();
        for (int k = 0; k < 2; ++k)
            if (!ZipFolder(k)) return false;
        return Assemble(image);
    }

  private:
    // --- Messages ------------------------------------------------------------
    std::string Where(const ManifestSetting& s) const { return AtLine(m_manifest.path, s.line); }
    std::string WhereFile(const ManifestSetting& s) const { return Where(s) + ": " + s.value; }
    void Fail(const ManifestSetting& s, const std::string& what) { m_diag->Error(Where(s), what); }

    std::string HostPath(const ManifestSetting& s) const {
        // Windows packagers write '\'; on the build host it separates folders too.
        std::string path = Replaced(s.value, '\\', '/');
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return ManifestRelativePath(m_manifest, path);
    }

    // --- Texts -----------------------------------------------------------------
    bool Text(const ManifestSetting& s, const char* key, std::string* gbk) {
        std::string error;
        if (!ToGbk(s.value, gbk, &error)) {
            Fail(s, std::string(key) + ": " + error);
            return false;
        }
        if (gbk->size() > kMaxNameBytes) {
            Fail(s, std::string(key) + ": " + std::to_string(gbk->size()) +
                        " bytes in GBK; the installer holds at most " +
                        std::to_string(kMaxNameBytes));
            return false;
        }
        return true;
    }

    // A path below the installation directory, as the installer joins it:
    // GBK with '\'. Written with '/' or '\' in the manifest.
    bool RelativePath(const ManifestSetting& s, const char* key, std::string* gbk) {
        std::string slashed;
        if (!Text(ManifestSetting{Replaced(s.value, '\\', '/'), s.line}, key, &slashed))
            return false;
        std::string problem = slashed.empty() ? std::string() : EntryNameProblem(slashed);
        if (!problem.empty()) {
            Fail(s, std::string(key) + ": " + problem);
            return false;
        }
        *gbk = Replaced(slashed, '/', '\\');
        return true;
    }

    bool InstallDir(const ManifestSetting& s, std::string* gbk) {
        std::string slashed;
        if (!Text(ManifestSetting{Replaced(s.value, '\\', '/'), s.line}, "InstallDir", &slashed))
            return false;
        bool drive = slashed.size() >= 3 && isalpha(static_cast<unsigned char>(slashed[0])) &&
                     slashed[1] == ':' && slashed[2] == '/';
        if (!drive) {
            Fail(s, "InstallDir: '" + s.value +
                        "' is not a full path with a drive, e.g. C:\\Program Files\\Product");
            return false;
        }
        std::string rest = slashed.substr(3);
        if (!rest.empty() && rest.back() == '/') rest.pop_back();
        std::string problem = rest.empty() ? std::string() : EntryNameProblem(rest);
        if (!problem.empty()) {
            Fail(s, "InstallDir: " + problem);
            return false;
        }
        *gbk = Replaced(slashed, '/', '\\');
        return true;
    }

    void ConvertProduct() {
        const Manifest& m = m_manifest;
        Text(m.productName, "Name", &m_payload.productName);
        Text(m.version, "Version", &m_payload.version);
        Text(m.publisherKey, "PublisherKey", &m_payload.publisherKey);
        if (m.installDir.given()) m_installDirOk = InstallDir(m.installDir, &m_payload.installDir);
        RelativePath(m.menuFolder, "MenuFolder", &m_payload.menuFolder);
    }

    void ConvertShortcuts() {
        for (const ManifestShortcut& s : m_manifest.shortcuts) {
            PayloadShortcut out;
            // The installer uses the name as the shortcut's file name.
            std::string name = s.name.value;
            if (!EndsWithNoCase(name, ".lnk")) name += ".lnk";
            if (Text(ManifestSetting{name, s.name.line}, "Name", &out.linkName)) {
                std::string problem = ComponentProblem(out.linkName);
                if (!problem.empty()) Fail(s.name, "Name: " + problem);
            }
            RelativePath(s.target, "Target", &out.target);
            RelativePath(s.icon, "Icon", &out.icon);
            if (strcasecmp(s.location.value.c_str(), "Desktop") == 0) {
                out.location = kOnDesktop;
            } else if (strcasecmp(s.location.value.c_str(), "Programs") == 0) {
                out.location = kInProgramsMenu;
                if (m_manifest.menuFolder.value.empty())
                    Fail(s.location,
                         "Location: Programs needs MenuFolder in [Product], the "
                         "folder the shortcut goes into");
            } else if (s.location.given()) {
                Fail(s.location, "Location: '" + s.location.value + "' (Desktop or Programs)");
            }
            m_payload.shortcuts.push_back(out);
        }
    }

    // --- Programs --------------------------------------------------------------
    bool ReadInput(const std::string& where, const std::string& path, Bytes* bytes) {
        std::string error;
        if (ReadFileBytes(path, bytes, &error)) return true;
        m_diag->Error(where, error);
        return false;
    }

    void LoadStub() {
        std::string tried;
        m_stubPath = m_options.stubPath;
        if (m_stubPath.empty() && !FindStub(&m_stubPath, &tried)) {
            m_diag->Error("setup.exe", "installer program not found (looked at " + tried +
                                           "); build the windows-x86 preset or give --stub");
            return;
        }
        if (!ReadInput(m_stubPath, m_stubPath, &m_stub)) return;
        if (m_stub.size() < 2 || m_stub[0] != 'M' || m_stub[1] != 'Z')
            m_diag->Error(m_stubPath, "not a Windows program (does not start with \"MZ\")");
        else if (m_stub.size() > size_t(kPayloadOffset))
            m_diag->Error(m_stubPath, std::to_string(m_stub.size()) +
                                          " bytes: the installer program must fit below the "
                                          "payload offset " +
                                          std::to_string(kPayloadOffset));
    }

    void LoadUninstaller() {
        const ManifestSetting& s = m_manifest.uninstaller;
        std::string path, where, tried;
        if (s.given()) {
            path = HostPath(s);
            where = WhereFile(s);
        } else if (!m_stubPath.empty()) {
            if (!FindUninstaller(m_stubPath, &path, &tried)) {
                m_diag->Error(m_manifest.path,
                              "no [Uninstaller] Program given and uninst.exe "
                              "not found (looked at " +
                                  tried + ")");
                return;
            }
            where = path;
        } else {
            return;  // no stub to look beside; reported already
        }
        Bytes program;
        if (!ReadInput(where, path, &program)) return;
        if (program.size() < 2 || program[0] != 'M' || program[1] != 'Z') {
            m_diag->Error(where, "not a Windows program (does not start with \"MZ\")");
            return;
        }
        m_uninstaller.swap(program);
    }

    void LoadPictures() {
        for (int role = 0; role < kImageCount; ++role) {
            const ManifestSetting& s = m_manifest.pictures[role];
            if (!s.given()) continue;  // no picture: that area stays grey
            Bytes bmp;
            if (!ReadInput(WhereFile(s), HostPath(s), &bmp)) continue;
            std::string problem = PictureProblem(bmp.data(), bmp.size(), role);
            if (!problem.empty()) {
                m_diag->Error(WhereFile(s), problem + "; " + PictureRequirement(role));
                continue;
            }
            m_pictures[role].swap(bmp);
        }
    }

    // The pictures and the uninstaller in the installer's block format, each
    // item on a thread of its own: the encoder's optimal parse is slow.
    void PackItems() {
        std::vector<std::pair<const Bytes*, Bytes*>> items;
        for (int role = 0; role < kImageCount; ++role)
            if (!m_pictures[role].empty())
                items.push_back({&m_pictures[role], &m_payload.images[role]});
        items.push_back({&m_uninstaller, &m_payload.uninstaller});
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next++) < items.size();)
                *items[i].second = LzEncode(items[i].first->data(), items[i].first->size());
        };
        std::vector<std::thread> threads;
        for (int t = 1; t < Threads(); ++t) threads.emplace_back(work);
        work();
        for (std::thread& t : threads) t.join();
        uint64_t raw = 0, packed = 0;
        for (const auto& item : items) raw += item.first->size(), packed += item.second->size();
        m_progress.Note("packed " + std::to_string(items.size() - 1) +
                        " pictures and the uninstaller: " + FormatSize(raw) + " -> " +
                        FormatSize(packed));
    }

    int Threads() const {
        if (m_options.threads > 0) return m_options.threads;
        return int(std::max(1u, std::thread::hardware_concurrency()));
    }

    // --- Archives --------------------------------------------------------------
    void PrepareArchive(int k) {
        ArchiveInput& a = m_archives[k];
        a.setting = m_manifest.archives[k];
        if (!a.setting.given()) {
            a.zip = EmptyZipArchive();  // a product may need one archive only
            return;
        }
        a.hostPath = HostPath(a.setting);
        if (IsFolder(a.hostPath)) {
            CollectFromFolder(a);
        } else if (IsFile(a.hostPath)) {
            CheckReadyZip(a);
        } else {
            m_diag->Error(WhereFile(a.setting),
                          std::string("no such file or folder: ") + strerror(ENOENT));
        }
    }

    void CollectFromFolder(ArchiveInput& a) {
        a.fromFolder = true;
        std::vector<std::string> problems;
        CollectFolder(a.hostPath, &a.entries, &problems);
        for (const std::string& p : problems) m_diag->Error(Where(a.setting), p);
        for (const ZipSource& e : a.entries) a.names.push_back(e.name);
    }

    void CheckReadyZip(ArchiveInput& a) {
        if (!ReadInput(WhereFile(a.setting), a.hostPath, &a.zip)) return;
        std::vector<ZipIssue> issues;
        ZipSummary summary;
        TestZipArchive(a.zip.data(), a.zip.size(), &issues, &summary);
        for (const ZipIssue& i : issues)
            m_diag->Error(WhereFile(a.setting),
                          "offset " + std::to_string(i.offset) + ": " + i.what);
        a.names = summary.names;
    }

    // Every unpacked file and every shortcut's files must be reachable from
    // the default installation directory within the installer's 260 bytes.
    void CheckInstalledPaths() {
        if (!m_installDirOk) return;
        std::string dir = m_payload.installDir;
        if (dir.back() != '\\') dir += '\\';
        std::set<std::string> installed = {FoldCase(kUninstallerName)};
        for (const ArchiveInput& a : m_archives) {
            for (const std::string& name : a.names) {
                std::string relative = Replaced(name, '/', '\\');
                // A ready archive may hold an empty name: reported, and never joined.
                if (relative.empty()) continue;
                if (relative.back() == '\\') relative.pop_back();
                std::string path = dir + relative;
                if (path.size() > kMaxNameBytes)
                    m_diag->Error(WhereFile(a.setting), "'" + ForDisplay(name) +
                                                            "' installs to a path of " +
                                                            std::to_string(path.size()) +
                                                            " bytes under InstallDir; "
                                                            "the installer handles at most " +
                                                            std::to_string(kMaxNameBytes));
                installed.insert(FoldCase(relative));
            }
        }
        for (size_t i = 0; i < m_payload.shortcuts.size(); ++i) {
            const PayloadShortcut& s = m_payload.shortcuts[i];
            const ManifestShortcut& m = m_manifest.shortcuts[i];
            CheckShortcutFile(s.target, m.target, "Target", dir, installed);
            CheckShortcutFile(s.icon, m.icon, "Icon", dir, installed);
        }
    }

    void CheckShortcutFile(const std::string& gbk, const ManifestSetting& s, const char* key,
                           const std::string& dir, const std::set<std::string>& installed) {
        if (gbk.empty() || !s.given()) return;
        if (dir.size() + gbk.size() > kMaxNameBytes)
            Fail(s, std::string(key) + ": the path under InstallDir is longer than " +
                        std::to_string(kMaxNameBytes) + " bytes");
        else if (!installed.count(FoldCase(gbk)))
            Fail(s, std::string(key) + ": '" + s.value +
                        "' is in neither archive, so the shortcut would point at nothing");
    }

    bool ZipFolder(int k) {
        ArchiveInput& a = m_archives[k];
        if (!a.fromFolder) return true;
        int threads = Threads();
        m_progress.Begin("zipping " + a.setting.value, a.entries.size(), "entries");
        std::string error;
        bool ok = WriteZipArchive(
            a.entries, threads,
            [this](size_t done, uint64_t bytes) { m_progress.Update(done, bytes); }, &a.zip,
            &error);
        if (!ok) {
            m_progress.End("stopped");  // ends the redrawn line before the error
            m_diag->Error(Where(a.setting), error);
            return false;
        }
        uint64_t bytes = 0;
        for (const ZipSource& e : a.entries) bytes += e.size;
        m_progress.End(std::to_string(a.entries.size()) + " entries, " + FormatSize(bytes) +
                       " -> " + FormatSize(a.zip.size()));
        return true;
    }

    // --- Output ----------------------------------------------------------------
    bool Assemble(Bytes* image) {
        for (int k = 0; k < 2; ++k) m_payload.archives[k].swap(m_archives[k].zip);
        std::string error;
        if (!MakeSetupImage(m_stub, m_payload, image, &error)) {
            m_diag->Error(m_manifest.path, error);
            return false;
        }
        size_t length = image->size() - kPayloadOffset;
        uint8_t record[kIntegrityRecordSize];
        FormatIntegrityRecord(uint32_t(length), Crc32(0, image->data() + kPayloadOffset, length),
                              record);
        image->insert(image->end(), record, record + sizeof record);
        return true;
    }

    const BuildOptions& m_options;
    Diagnostics* m_diag;
    ProgressMeter m_progress;
    Manifest m_manifest;
    Payload m_payload;
    bool m_installDirOk = false;
    std::string m_stubPath;
    Bytes m_stub;
    Bytes m_pictures[kImageCount];  // BMP files, until packed
    Bytes m_uninstaller;            // the program, until packed
    ArchiveInput m_archives[2];
};

}  // namespace

bool FindStub(std::string* path, std::string* tried) {
    std::vector<std::string> candidates;
    std::string here = ProgramFolder();
    if (!here.empty()) {
        candidates.push_back(here + "/setup.exe");
        candidates.push_back(here + "/../../../windows-x86/app/setup.exe");
    }
    candidates.push_back("build/windows-x86/app/setup.exe");
    return FirstExisting(candidates, path, tried);
}

bool FindUninstaller(const std::string& stubPath, std::string* path, std::string* tried) {
    std::string folder = FolderOf(stubPath);
    return FirstExisting({folder + "/uninst.exe", folder + "/../uninstaller/uninst.exe"}, path,
                         tried);
}

bool BuildSetupImage(const BuildOptions& options, Diagnostics* diagnostics, Bytes* image) {
    image->clear();
    size_t before = diagnostics->Count();
    bool ok = SetupBuilder(options, diagnostics).Build(image);
    return ok && diagnostics->Count() == before;
}

bool BuildSetup(const BuildOptions& options, Diagnostics* diagnostics) {
    Bytes image;
    if (!BuildSetupImage(options, diagnostics, &image)) return false;
    std::string error;
    if (!WriteFileAtomically(options.outputPath, image, &error)) {
        diagnostics->Error(options.outputPath, error);
        return false;
    }
    ProgressMeter(options.quiet).Note(options.outputPath + ": " + FormatSize(image.size()));
    return true;
}
