#include "install/uninstall_guard.h"

#include <string.h>

namespace uninstall {
namespace {

int IsSeparator(char c) { return c == '\\' || c == '/'; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Length in bytes of the character at s: 2 for a lead byte with its trail.
size_t CharBytes(const char* s, LeadByteTest isLead) {
    return (isLead(static_cast<unsigned char>(s[0])) && s[1]) ? 2 : 1;
}

// Drops the extended-length prefix: "\\?\C:\x" is "C:\x" and
// "\\?\UNC\server\share" is "\\server\share". Returns where the name starts
// and whether it is a share.
const char* SkipLongPrefix(const char* path, int* share) {
    *share = 0;
    if (strncmp(path, "\\\\?\\", 4) != 0) return path;
    path += 4;
    if ((path[0] == 'U' || path[0] == 'u') && (path[1] == 'N' || path[1] == 'n') &&
        (path[2] == 'C' || path[2] == 'c') && path[3] == '\\') {
        *share = 1;
        return path + 4;
    }
    return path;
}

// Counts the parts between separators of a normalized path; sets *dots when
// one of them is "." or "..".
int CountParts(const char* path, LeadByteTest isLead, int* dots) {
    int parts = 0;
    *dots = 0;
    const char* part = path;
    for (const char* p = path;; p += CharBytes(p, isLead)) {
        if (*p == '\\' || *p == '\0') {
            size_t length = static_cast<size_t>(p - part);
            if (length) ++parts;
            if ((length == 1 && part[0] == '.') ||
                (length == 2 && part[0] == '.' && part[1] == '.'))
                *dots = 1;
            if (*p == '\0') break;
            part = p + 1;
        }
    }
    return parts;
}

FolderVerdict ClassifyNormalized(const char* path, LeadByteTest isLead) {
    int dots = 0;
    if (path[0] == '\\' && path[1] == '\\') {
        int parts = CountParts(path + 2, isLead, &dots);
        if (dots) return kFolderNotFullPath;
        return parts <= 2 ? kFolderIsRoot : kFolderRemovable;  // server and share
    }
    if (path[0] == '\0') return kFolderIsRoot;  // "\" or nothing at all
    int drive = ((path[0] >= 'A' && path[0] <= 'Z') && path[1] == ':');
    if (drive && path[2] == '\0') return kFolderIsRoot;
    if (!drive || path[2] != '\\') return kFolderNotFullPath;
    CountParts(path + 3, isLead, &dots);
    return dots ? kFolderNotFullPath : kFolderRemovable;
}

}  // namespace

int IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

int NormalizeFolder(const char* path, LeadByteTest isLead, char out[kGuardPath]) {
    if (!path || strlen(path) >= static_cast<size_t>(kGuardPath)) return 0;
    int share = 0;
    const char* p = SkipLongPrefix(path, &share);
    size_t o = 0;
    if (share || (IsSeparator(p[0]) && IsSeparator(p[1]))) {
        out[o++] = '\\';
        out[o++] = '\\';
        while (IsSeparator(*p)) ++p;
    }
    const size_t kept = o;  // a share's leading pair is never trimmed alone
    int lastWasSeparator = 0;
    while (*p) {
        size_t bytes = CharBytes(p, isLead);
        if (bytes == 2) {
            out[o++] = p[0];
            out[o++] = p[1];
            lastWasSeparator = 0;
        } else if (IsSeparator(*p)) {
            if (!lastWasSeparator) out[o++] = '\\';
            lastWasSeparator = 1;
        } else {
            out[o++] = UpperAscii(*p);
            lastWasSeparator = 0;
        }
        p += bytes;
    }
    if (lastWasSeparator && o > kept) --o;
    if (o == kept && kept) o = 0;  // "\\" alone names nothing but the network
    out[o] = '\0';
    return 1;
}

int SameFolder(const char* a, const char* b, LeadByteTest isLead) {
    char na[kGuardPath], nb[kGuardPath];
    return NormalizeFolder(a, isLead, na) && NormalizeFolder(b, isLead, nb) && strcmp(na, nb) == 0;
}

int ContainsFolder(const char* folder, const char* other, LeadByteTest isLead) {
    char nf[kGuardPath], no[kGuardPath];
    if (!NormalizeFolder(folder, isLead, nf) || !NormalizeFolder(other, isLead, no)) return 0;
    size_t length = strlen(nf);
    if (strncmp(nf, no, length) != 0) return 0;
    // The byte after the common part must start a character of `other`: in
    // "D:\<lead>" against "D:\<lead>\x" the 0x5C is that lead byte's trail.
    size_t at = 0;
    while (at < length) at += CharBytes(no + at, isLead);
    return at == length && (no[length] == '\0' || no[length] == '\\');
}

int ParentFolder(const char* filePath, LeadByteTest isLead, char folder[kGuardPath]) {
    if (!filePath || strlen(filePath) >= static_cast<size_t>(kGuardPath)) return 0;
    const char* last = nullptr;
    for (const char* p = filePath; *p; p += CharBytes(p, isLead)) {
        if (IsSeparator(*p)) last = p;
    }
    if (!last) return 0;
    size_t length = static_cast<size_t>(last - filePath);
    if (length == 2 && filePath[1] == ':') ++length;  // "C:\x.exe" lies in "C:\"
    memcpy(folder, filePath, length);
    folder[length] = '\0';
    return 1;
}

FolderVerdict CheckFolderRemoval(const char* folder, const char* const* protectedFolders, int count,
                                 LeadByteTest isLead, int* which) {
    *which = -1;
    char normalized[kGuardPath];
    if (!NormalizeFolder(folder, isLead, normalized)) return kFolderNotFullPath;
    FolderVerdict verdict = ClassifyNormalized(normalized, isLead);
    if (verdict != kFolderRemovable) return verdict;
    for (int i = 0; i < count; ++i) {
        const char* guarded = protectedFolders[i];
        if (!guarded || !*guarded) continue;
        if (ContainsFolder(normalized, guarded, isLead)) {
            *which = i;
            return kFolderProtected;
        }
    }
    return kFolderRemovable;
}

int IsShellLinkHeader(const uint8_t* data, size_t size) {
    static const uint8_t kHeader[kShellLinkHeaderBytes] = {
        0x4C, 0x00, 0x00, 0x00,                          // header size
        0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,  // {00021401-0000-0000-
        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46,  //  C000-000000000046}
    };
    return data && size >= kShellLinkHeaderBytes && memcmp(data, kHeader, sizeof(kHeader)) == 0;
}

}  // namespace uninstall
