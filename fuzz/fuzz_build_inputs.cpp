// What mksetup build and verify read from untrusted files: an archive tested
// from memory, a manifest, a picture, an entry name. The first byte chooses
// the reader; the rest is its input. Crashes and sanitizer reports are the
// findings; each reader must also keep its own promises (below).
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "payload/setup_info.h"
#include "tools/mksetup/entry_names.h"
#include "tools/mksetup/manifest.h"
#include "tools/mksetup/picture_rules.h"
#include "tools/mksetup/zip_check.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void Archive(const uint8_t* data, size_t size) {
    std::vector<ZipIssue> issues;
    ZipSummary summary;
    bool sound = TestZipArchive(data, size, &issues, &summary);
    Check(sound == issues.empty());
    Check(summary.names.size() == summary.entries);
    for (const ZipIssue& i : issues) Check(i.offset <= size);
    // A sound archive has only names the installer may unpack.
    if (sound)
        for (const std::string& name : summary.names) Check(EntryNameProblem(name).empty());
}

void ManifestText(const uint8_t* data, size_t size) {
    Diagnostics diagnostics(false);
    Manifest manifest;
    std::string text(reinterpret_cast<const char*>(data), size);
    bool ok = ParseManifestText(text, "fuzz.ini", &manifest, &diagnostics);
    Check(ok == !diagnostics.HasErrors());
    Check(manifest.shortcuts.size() <= size_t(kMaxShortcuts));
}

void Picture(const uint8_t* data, size_t size) {
    if (size == 0) return;
    int role = data[0] % kImageCount;
    std::string problem = PictureProblem(data + 1, size - 1, role);
    if (problem.empty()) {
        int w, h;
        PictureSize(role, &w, &h);
        Check(size - 1 >= size_t(54 + ((w * 3 + 3) & ~3) * h));
    }
}

void Name(const uint8_t* data, size_t size) {
    std::string name(reinterpret_cast<const char*>(data), size);
    if (!EntryNameProblem(name).empty()) return;
    // An accepted name stays inside the folder it is unpacked into.
    Check(name.size() <= kMaxNameBytes && name[0] != '/' && name.find('\\') == std::string::npos);
    size_t start = 0;
    for (size_t end; start <= name.size(); start = end + 1) {
        end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        Check(name.compare(start, end - start, "..") != 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    switch (data[0] % 4) {
        case 0:
            Archive(data + 1, size - 1);
            break;
        case 1:
            ManifestText(data + 1, size - 1);
            break;
        case 2:
            Picture(data + 1, size - 1);
            break;
        case 3:
            Name(data + 1, size - 1);
            break;
    }
    return 0;
}
