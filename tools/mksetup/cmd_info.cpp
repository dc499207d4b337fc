// mksetup info: everything an installer's payload holds, as the installer
// itself reads it, for people (texts in UTF-8) or machines (--json).
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>

#include "payload/setup_info.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/gbk_text.h"
#include "tools/mksetup/json_text.h"
#include "tools/mksetup/setup_file.h"

namespace {

const char* const kImageRoles[kImageCount] = {
    "confirmation",  "directory banner",    "progress banner below 50%", "progress banner from 50%",
    "wizard header", "spare (never drawn)",
};

const char* LocationName(int32_t location) {
    if (location == kOnDesktop) return "desktop";
    if (location == kInProgramsMenu) return "programs menu";
    return "unknown";
}

struct Picture {
    size_t packedSize = 0;
    Bytes decoded;
    bool isBmp = false;
    BmpInfo bmp;
};

struct Uninstaller {
    bool decodedOk = false;
    std::string error;
    Bytes decoded;
    bool IsExecutable() const {
        return decoded.size() >= 2 && decoded[0] == 'M' && decoded[1] == 'Z';
    }
};

// Everything shown: the installer's own reading plus what only the raw
// payload tells (packed sizes, decoded sizes, the bytes after the payload).
struct Report {
    std::string path;
    size_t fileSize = 0;
    Payload payload;
    PayloadLayout layout;
    Picture pictures[kImageCount];
    Uninstaller uninstaller;
};

bool BuildReport(const std::string& path, const CSetupInfo& info, Report* report,
                 std::string* error) {
    Bytes image;
    report->path = path;
    if (!LoadSetupImage(path, &image, &report->payload, &report->layout, error)) return false;
    report->fileSize = image.size();
    for (int i = 0; i < kImageCount; ++i) {
        const Bytes& packed = report->payload.images[i];
        Picture& picture = report->pictures[i];
        picture.packedSize = packed.size();
        if (!info.m_pImages[i]) continue;
        if (!DecodeItem(packed.data(), packed.size(), kMaxImageBytes, &picture.decoded, error)) {
            *error = "picture " + std::to_string(i) + ": " + *error;
            return false;
        }
        picture.isBmp = DescribeBmp(picture.decoded, &picture.bmp);
    }
    const Bytes& packed = report->payload.uninstaller;
    Uninstaller& u = report->uninstaller;
    u.decodedOk =
        DecodeItem(packed.data(), packed.size(), kMaxUninstallerBytes, &u.decoded, &u.error);
    return true;
}

std::string Shown(const char* ansi) { return GbkToUtf8Lossy(ansi); }

// Quoted for a terminal: control characters would garble the listing.
std::string Quoted(const char* ansi) {
    std::string out = "\"";
    for (unsigned char c : Shown(ansi)) {
        if (c < 0x20 || c == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void PrintText(const CSetupInfo& info, const Report& r) {
    printf("file                 %s\n", r.path.c_str());
    printf("file size            %zu\n", r.fileSize);
    printf("payload              %" PRId32 " to %" PRId64 " (%" PRId64 " bytes), %" PRId64
           " bytes after it\n",
           kPayloadOffset, r.layout.end, r.layout.end - kPayloadOffset,
           int64_t(r.fileSize) - r.layout.end);
    printf("product name         %s\n", Quoted(info.m_szProductName).c_str());
    printf("version              %s\n", Quoted(info.m_szVersion).c_str());
    printf("publisher key        %s\n", Quoted(info.m_szPublisherKey).c_str());
    printf("install directory    %s\n", Quoted(info.m_szInstallDir).c_str());
    printf("menu folder          %s\n", Quoted(info.m_szMenuFolder).c_str());
    printf("shortcuts            %d\n", info.m_nShortcuts);
    for (int i = 0; i < info.m_nShortcuts; ++i) {
        const ShortcutEntry& s = info.m_Shortcuts[i];
        printf("  %d  %-13s link %s  target %s%s  icon %s%s\n", i, LocationName(s.location),
               Quoted(s.linkName).c_str(), Quoted(s.target).c_str(),
               s.target[0] ? "" : " (the uninstaller)", Quoted(s.icon).c_str(),
               s.icon[0] ? "" : " (the target's)");
    }
    printf("pictures\n");
    for (int i = 0; i < kImageCount; ++i) {
        const Picture& p = r.pictures[i];
        printf("  %d  %-26s ", i, kImageRoles[i]);
        if (!info.m_pImages[i]) {
            printf("absent\n");
            continue;
        }
        printf("packed %zu  decoded %zu  ", p.packedSize, p.decoded.size());
        if (!p.isBmp) {
            printf("not a BMP\n");
            continue;
        }
        printf("BMP %" PRId32 " x %" PRId32 ", %u bits%s%s\n", p.bmp.width, p.bmp.height,
               p.bmp.bitCount, p.bmp.compression ? ", compressed" : "",
               p.bmp.fileSizeField == p.decoded.size() ? "" : ", file-size field differs");
    }
    printf("archives\n");
    for (int k = 0; k < 2; ++k)
        printf("  %d  position %" PRId32 "  size %" PRId32 "\n", k, info.m_Archives[k].position,
               info.m_Archives[k].size);
    const Uninstaller& u = r.uninstaller;
    printf("uninstaller          position %" PRId32 "  packed %" PRId32 "  ",
           info.m_Uninstaller.position, info.m_Uninstaller.size);
    if (u.decodedOk)
        printf("decoded %zu%s\n", u.decoded.size(),
               u.IsExecutable() ? "" : "  (does not begin with MZ)");
    else
        printf("cannot be decoded: %s\n", u.error.c_str());
}

void PrintJsonText(const char* key, const char* ansi, const char* after) {
    printf("%s: %s%s", JsonQuote(key).c_str(), JsonQuote(Shown(ansi)).c_str(), after);
}

void PrintJson(const CSetupInfo& info, const Report& r) {
    printf("{\n  \"file\": %s,\n", JsonQuote(r.path).c_str());
    printf("  \"file_size\": %zu,\n", r.fileSize);
    printf("  \"payload_offset\": %" PRId32 ",\n", kPayloadOffset);
    printf("  \"payload_end\": %" PRId64 ",\n", r.layout.end);
    printf("  ");
    PrintJsonText("product_name", info.m_szProductName, ",\n  ");
    PrintJsonText("version", info.m_szVersion, ",\n  ");
    PrintJsonText("publisher_key", info.m_szPublisherKey, ",\n  ");
    PrintJsonText("install_dir", info.m_szInstallDir, ",\n  ");
    PrintJsonText("menu_folder", info.m_szMenuFolder, ",\n");
    printf("  \"shortcuts\": [");
    for (int i = 0; i < info.m_nShortcuts; ++i) {
        const ShortcutEntry& s = info.m_Shortcuts[i];
        printf("%s\n    {\"location\": %" PRId32 ", \"location_name\": %s, ", i ? "," : "",
               s.location, JsonQuote(LocationName(s.location)).c_str());
        PrintJsonText("link_name", s.linkName, ", ");
        PrintJsonText("target", s.target, ", ");
        PrintJsonText("icon", s.icon, "}");
    }
    printf("%s],\n  \"pictures\": [", info.m_nShortcuts > 0 ? "\n  " : "");
    for (int i = 0; i < kImageCount; ++i) {
        const Picture& p = r.pictures[i];
        printf(
            "%s\n    {\"index\": %d, \"role\": %s, \"present\": %s, \"packed_size\": %zu, "
            "\"decoded_size\": %zu, \"bmp\": ",
            i ? "," : "", i, JsonQuote(kImageRoles[i]).c_str(),
            info.m_pImages[i] ? "true" : "false", p.packedSize, p.decoded.size());
        if (p.isBmp)
            printf("{\"width\": %" PRId32 ", \"height\": %" PRId32
                   ", \"bit_count\": %u, "
                   "\"compression\": %" PRIu32 ", \"file_size_field\": %" PRIu32 "}}",
                   p.bmp.width, p.bmp.height, p.bmp.bitCount, p.bmp.compression,
                   p.bmp.fileSizeField);
        else
            printf("null}");
    }
    printf("\n  ],\n  \"archives\": [");
    for (int k = 0; k < 2; ++k)
        printf("%s\n    {\"position\": %" PRId32 ", \"size\": %" PRId32 "}", k ? "," : "",
               info.m_Archives[k].position, info.m_Archives[k].size);
    const Uninstaller& u = r.uninstaller;
    printf("\n  ],\n  \"uninstaller\": {\"position\": %" PRId32 ", \"packed_size\": %" PRId32 ", ",
           info.m_Uninstaller.position, info.m_Uninstaller.size);
    if (u.decodedOk)
        printf("\"decoded_size\": %zu, \"executable\": %s}\n}\n", u.decoded.size(),
               u.IsExecutable() ? "true" : "false");
    else
        printf("\"decoded_size\": null, \"error\": %s}\n}\n", JsonQuote(u.error).c_str());
}

int RunInfo(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--json")
            json = true;
        else
            files.push_back(arg);
    }
    if (files.size() != 1) {
        fprintf(stderr, "usage: mksetup info SETUP.exe [--json]\n");
        return 2;
    }
    const std::string& path = files[0];
    CSetupInfo info;
    Report report;
    std::string error;
    if (!LoadSetup(path, &info, &error) || !BuildReport(path, info, &report, &error)) {
        ReportError(path, error);
        return 1;
    }
    if (json)
        PrintJson(info, report);
    else
        PrintText(info, report);
    // The installer reads such a payload but would fail when it installs.
    if (!report.uninstaller.decodedOk) {
        ReportError(path, "uninstaller: " + report.uninstaller.error);
        return 1;
    }
    return 0;
}

const CommandRegistration kRegistration({"info", "info SETUP.exe [--json]",
                                         "show everything an installer's payload holds", RunInfo});

}  // namespace
