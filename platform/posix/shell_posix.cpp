// Special folders and shortcuts without a Windows shell: the folders are
// directories the caller names, and a shortcut is a Shell Link (.lnk) file
// written byte by byte, so that Windows (and any .lnk reader) opens it as the
// shell's own link object would have saved it.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/host_path.h"

namespace plat {
namespace {

// An empty slot is a folder nobody named: it cannot be resolved.
char g_szDesktop[kMaxPath];
char g_szPrograms[kMaxPath];

char* FolderSlot(int csidl) {
    if (csidl == kFolderDesktop) return g_szDesktop;
    if (csidl == kFolderPrograms) return g_szPrograms;
    return nullptr;
}

// --- Shell Link binary layout ---------------------------------------------
const uint32_t kHeaderSize = 0x4C;
const uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const uint32_t kHasLinkInfo = 0x02;
const uint32_t kHasWorkingDir = 0x10;
const uint32_t kHasIconLocation = 0x40;
const uint32_t kIsUnicode = 0x80;
const uint32_t kAttributeDirectory = 0x10;
const uint32_t kAttributeArchive = 0x20;
const uint32_t kShowNormal = 1;
const uint32_t kVolumeIdAndLocalBasePath = 0x01;
const uint32_t kLinkInfoHeaderWithUnicode = 0x24;
const uint32_t kLinkInfoHeaderAnsiOnly = 0x1C;
const uint32_t kDriveFixed = 3;
const uint32_t kVolumeIdHeader = 0x10;
// 100 ns ticks from 1601-01-01 to 1970-01-01.
const uint64_t kUnixEpochInFileTime = 116444736000000000ULL;

void PutU16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void PutU64(std::string& out, uint64_t v) {
    PutU32(out, static_cast<uint32_t>(v));
    PutU32(out, static_cast<uint32_t>(v >> 32));
}

void PatchU32(std::string& out, size_t at, uint32_t v) {
    std::string bytes;
    PutU32(bytes, v);
    out.replace(at, 4, bytes);
}

// Code page 936 text as UTF-16LE bytes (no terminator); false when the text
// is not valid in that code page.
bool AnsiToUtf16(const char* ansi, std::string* out) {
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == (iconv_t)-1) return false;
    size_t inLeft = strlen(ansi);
    std::string buffer(inLeft * 4 + 4, '\0');
    char* src = const_cast<char*>(ansi);
    char* dst = &buffer[0];
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &src, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (r == (size_t)-1) return false;
    buffer.resize(buffer.size() - outLeft);
    *out = buffer;
    return true;
}

uint64_t ToFileTime(const struct timespec& t) {
    if (t.tv_sec < 0) return 0;
    return kUnixEpochInFileTime + static_cast<uint64_t>(t.tv_sec) * 10000000ULL +
           static_cast<uint64_t>(t.tv_nsec) / 100;
}

// What the header tells of the target, as the shell records it when the
// target exists; all zero otherwise.
struct TargetFacts {
    uint32_t attributes = 0;
    uint64_t created = 0, accessed = 0, written = 0;
    uint32_t size = 0;
};

TargetFacts LookAtTarget(const char* target) {
    TargetFacts facts;
    HostPath host(target);
    struct stat st;
    if (!host.ok || stat(host.c_str(), &st) != 0) return facts;
    facts.attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
    // The host keeps no creation time; the unpacker gives both the entry's time.
    facts.created = facts.written = ToFileTime(st.st_mtim);
    facts.accessed = ToFileTime(st.st_atim);
    facts.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint32_t>(st.st_size);
    return facts;
}

void PutHeader(std::string& out, uint32_t flags, const TargetFacts& facts) {
    PutU32(out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
    PutU32(out, flags);
    PutU32(out, facts.attributes);
    PutU64(out, facts.created);
    PutU64(out, facts.accessed);
    PutU64(out, facts.written);
    PutU32(out, facts.size);
    PutU32(out, 0);  // icon index
    PutU32(out, kShowNormal);
    PutU16(out, 0);  // no hotkey
    PutU16(out, 0);
    PutU32(out, 0);
    PutU32(out, 0);
}

// The target as a local path on a fixed volume: the ANSI path always, and
// the UTF-16 one as well when there is one.
void PutLinkInfo(std::string& out, const char* target, const std::string* unicodeTarget) {
    const size_t start = out.size();
    const uint32_t headerSize =
        unicodeTarget ? kLinkInfoHeaderWithUnicode : kLinkInfoHeaderAnsiOnly;
    const uint32_t volumeIdSize = kVolumeIdHeader + 1;  // and an empty label
    const uint32_t basePathOffset = headerSize + volumeIdSize;
    const uint32_t suffixOffset = basePathOffset + static_cast<uint32_t>(strlen(target)) + 1;

    PutU32(out, 0);  // LinkInfoSize, patched below
    PutU32(out, headerSize);
    PutU32(out, kVolumeIdAndLocalBasePath);
    PutU32(out, headerSize);  // the VolumeID follows the header
    PutU32(out, basePathOffset);
    PutU32(out, 0);  // no network link
    PutU32(out, suffixOffset);
    if (unicodeTarget) {
        const uint32_t basePathUnicode = suffixOffset + 1;
        PutU32(out, basePathUnicode);
        PutU32(out, basePathUnicode + static_cast<uint32_t>(unicodeTarget->size()) + 2);
    }

    PutU32(out, volumeIdSize);
    PutU32(out, kDriveFixed);
    PutU32(out, 0);  // serial number unknown
    PutU32(out, kVolumeIdHeader);
    out.push_back('\0');

    out.append(target, strlen(target) + 1);
    out.push_back('\0');  // empty common path suffix
    if (unicodeTarget) {
        out.append(*unicodeTarget);
        PutU16(out, 0);
        PutU16(out, 0);  // empty common path suffix
    }
    PatchU32(out, start, static_cast<uint32_t>(out.size() - start));
}

// A counted string: its length in characters, then the characters, in UTF-16
// when the link is Unicode and in the code page otherwise.
void PutCountedString(std::string& out, const char* ansi, bool unicode) {
    std::string text;
    if (unicode) {
        AnsiToUtf16(ansi, &text);
        PutU16(out, static_cast<uint32_t>(text.size() / 2));
    } else {
        text = ansi;
        PutU16(out, static_cast<uint32_t>(text.size()));
    }
    out.append(text);
}

// Unicode only when every string has a UTF-16 form.
bool AllHaveUnicode(const char* a, const char* b, const char* c) {
    std::string ignored;
    return AnsiToUtf16(a, &ignored) && AnsiToUtf16(b, &ignored) && AnsiToUtf16(c, &ignored);
}

std::string BuildShellLink(const char* target, const char* workDir, const char* iconPath) {
    const bool unicode = AllHaveUnicode(target, workDir, iconPath);
    uint32_t flags = kHasLinkInfo;
    if (*workDir) flags |= kHasWorkingDir;
    if (*iconPath) flags |= kHasIconLocation;
    if (unicode) flags |= kIsUnicode;

    std::string link;
    PutHeader(link, flags, LookAtTarget(target));
    std::string unicodeTarget;
    PutLinkInfo(link, target,
                unicode && AnsiToUtf16(target, &unicodeTarget) ? &unicodeTarget : nullptr);
    if (flags & kHasWorkingDir) PutCountedString(link, workDir, unicode);
    if (flags & kHasIconLocation) PutCountedString(link, iconPath, unicode);
    PutU32(link, 0);  // terminal block: no extra data
    return link;
}

bool WriteWholeFile(const char* ansiPath, const std::string& bytes) {
    HostPath host(ansiPath);
    if (!host.ok) return false;
    int fd;
    do {
        fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bool closed = close(fd) == 0;
    return done == bytes.size() && closed;
}

}  // namespace

void SetSpecialFolder(int csidl, const char* ansiPath) {
    char* slot = FolderSlot(csidl);
    if (!slot) return;
    slot[0] = '\0';
    if (ansiPath && strlen(ansiPath) < static_cast<size_t>(kMaxPath)) strcpy(slot, ansiPath);
}

int GetSpecialFolder(int csidl, char path[kMaxPath]) {
    const char* slot = FolderSlot(csidl);
    if (!slot || !*slot) return 0;
    strcpy(path, slot);
    return 1;
}

int WriteShortcut(const char* linkPath, const char* target, const char* workDir,
                  const char* iconPath) {
    if (!linkPath || !target || !workDir || !iconPath) return 0;
    // As with the shell's link object, a link that cannot be saved is not an
    // error of the object itself: the result stays 1.
    WriteWholeFile(linkPath, BuildShellLink(target, workDir, iconPath));
    return 1;
}

}  // namespace plat
