#include "tools/mksetup/setup_verifier.h"

#include <inttypes.h>
#include <stdio.h>

#include "payload/integrity.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "tools/mksetup/entry_names.h"
#include "tools/mksetup/manifest.h"
#include "tools/mksetup/picture_rules.h"
#include "tools/mksetup/progress_meter.h"
#include "tools/mksetup/setup_file.h"
#include "tools/mksetup/zip_check.h"

namespace {

std::string Hex32(uint32_t v) {
    char text[16];
    snprintf(text, sizeof text, "%08" PRIX32, v);
    return text;
}

std::string PictureName(int role) {
    return "picture " + std::to_string(role) + " (" + PictureRoleName(role) + ")";
}

class SetupVerifier {
  public:
    SetupVerifier(const std::string& path, Diagnostics* diagnostics)
        : m_path(path), m_diag(diagnostics) {}

    bool Run(std::string* summary) {
        std::string error;
        if (!ReadFileBytes(m_path, &m_image, &error)) {
            m_diag->Error(m_path, error);
            return false;
        }
        CheckProgram();
        if (!ParseSetupImage(m_image, &m_payload, &m_layout, &error)) {
            // The parts cannot be located any further: one problem says why.
            m_diag->Error(m_path, "payload: " + error);
            return false;
        }
        CheckTexts();
        for (int role = 0; role < kImageCount; ++role) CheckPicture(role);
        Say("pictures: " + std::to_string(m_pictures) + " of " + std::to_string(kImageCount));
        for (int k = 0; k < 2; ++k) CheckArchive(k);
        CheckUninstaller();
        CheckRecord();
        if (m_problems == 0) CheckWithInstallerCode();
        *summary = m_summary;
        return m_problems == 0;
    }

  private:
    void Problem(int64_t offset, const std::string& what) {
        char where[64];
        snprintf(where, sizeof where, "offset %" PRId64 " (0x%" PRIX64 ")", offset,
                 static_cast<uint64_t>(offset));
        m_diag->Error(m_path + ": " + where, what);
        ++m_problems;
    }

    void Say(const std::string& line) { m_summary += "  " + line + "\n"; }

    void CheckProgram() {
        if (m_image.size() < 2 || m_image[0] != 'M' || m_image[1] != 'Z')
            Problem(0, "the installer program does not start with \"MZ\"");
    }

    // The descriptive fields, at the offsets the writer put them.
    void CheckTexts() {
        int64_t at = kPayloadOffset;
        const struct {
            const std::string& text;
            const char* what;
        } texts[] = {
            {m_payload.productName, "product name"},
            {m_payload.version, "version"},
            {m_payload.publisherKey, "publisher key"},
            {m_payload.installDir, "installation directory"},
            {m_payload.menuFolder, "menu folder"},
        };
        for (const auto& t : texts) CheckText(&at, t.text, t.what);
        at += 4;  // shortcut count
        for (size_t i = 0; i < m_payload.shortcuts.size(); ++i) {
            const PayloadShortcut& s = m_payload.shortcuts[i];
            std::string what = "shortcut " + std::to_string(i);
            CheckText(&at, s.linkName, (what + " name").c_str());
            CheckText(&at, s.target, (what + " target").c_str());
            CheckText(&at, s.icon, (what + " icon").c_str());
            if (s.location != kOnDesktop && s.location != kInProgramsMenu)
                Problem(at, what + ": location " + std::to_string(s.location) +
                                " (0 desktop, 1 Programs menu): the installer makes no shortcut");
            at += 4;
        }
        Say("product: " + ForDisplay(m_payload.productName) + " " + ForDisplay(m_payload.version) +
            ", installs to " + ForDisplay(m_payload.installDir) + ", " +
            std::to_string(m_payload.shortcuts.size()) + " shortcuts");
    }

    void CheckText(int64_t* at, const std::string& text, const char* what) {
        if (!IsGbkText(text)) Problem(*at + 4, std::string(what) + ": not GBK text");
        *at += 4 + int64_t(text.size());
    }

    void CheckPicture(int role) {
        const Bytes& packed = m_payload.images[role];
        if (packed.empty()) return;
        int64_t at = m_layout.imageAt[role] + 4;
        Bytes bmp;
        std::string error;
        if (!DecodeItem(packed.data(), packed.size(), kMaxImageBytes, &bmp, &error)) {
            Problem(at, PictureName(role) + ": " + error);
            return;
        }
        std::string problem = PictureProblem(bmp.data(), bmp.size(), role);
        if (!problem.empty())
            Problem(at, PictureName(role) + ": " + problem + "; " + PictureRequirement(role));
        ++m_pictures;
    }

    void CheckArchive(int k) {
        const ArchiveSegment& segment = m_layout.archives[k];
        const Bytes& zip = m_payload.archives[k];
        std::string name = "archive " + std::to_string(k + 1);
        if (zip.empty()) {
            // The installer counts a segment of size 0 as an archive without entries.
            Say(name + ": none (size 0)");
            return;
        }
        std::vector<ZipIssue> issues;
        ZipSummary summary;
        TestZipArchive(zip.data(), zip.size(), &issues, &summary);
        for (const ZipIssue& i : issues)
            Problem(segment.position + int64_t(i.offset), name + ": " + i.what);
        Say(name + ": " + std::to_string(summary.entries) + " entries (" +
            std::to_string(summary.folders) + " folders), " + FormatSize(summary.bytes) + " in " +
            FormatSize(zip.size()));
    }

    void CheckUninstaller() {
        const Bytes& packed = m_payload.uninstaller;
        int64_t at = m_layout.uninstaller.position;
        Bytes program;
        std::string error;
        if (packed.empty()) {
            Problem(at - 4, "uninstaller: missing (size 0)");
            return;
        }
        if (!DecodeItem(packed.data(), packed.size(), kMaxUninstallerBytes, &program, &error)) {
            Problem(at, "uninstaller: " + error);
            return;
        }
        if (program.size() < 2 || program[0] != 'M' || program[1] != 'Z')
            Problem(at,
                    "uninstaller: decodes to something that is not a Windows program (no "
                    "\"MZ\")");
        Say("uninstaller: " + FormatSize(program.size()) + ", packed " + FormatSize(packed.size()));
    }

    void CheckRecord() {
        int64_t end = m_layout.end;
        IntegrityRecord record;
        int state =
            ParseIntegrityRecord(m_image.data() + end, m_image.size() - size_t(end), &record);
        if (state == kIntegrityAbsent) {
            Say("integrity record: none (an installer built without one)");
            return;
        }
        if (state == kIntegrityCutOff) {
            Problem(end, "integrity record cut off: the file ends " +
                             std::to_string(m_image.size() - size_t(end)) + " bytes into it");
            return;
        }
        if (state == kIntegrityBadVersion) {
            Problem(end + 8, "integrity record of version 0");
            return;
        }
        uint64_t length = uint64_t(end - kPayloadOffset);
        if (record.payloadLength != length) {
            Problem(end + 12, "integrity record gives a payload of " +
                                  std::to_string(record.payloadLength) + " bytes; it has " +
                                  std::to_string(length));
            return;
        }
        uint32_t crc = Crc32(0, m_image.data() + kPayloadOffset, size_t(length));
        if (crc != record.payloadCrc) {
            Problem(end + 16, "payload damaged: its CRC-32 is " + Hex32(crc) +
                                  ", the integrity record says " + Hex32(record.payloadCrc));
            return;
        }
        Say("integrity record: CRC-32 " + Hex32(crc) + " over " + std::to_string(length) +
            " bytes, matches");
    }

    // The installer's own reader and start-up check must agree.
    void CheckWithInstallerCode() {
        std::string ansi, error;
        if (!HostPathToAnsi(m_path, &ansi, &error)) return;  // cannot be named to the core
        CSetupInfo info;
        CFileStream in;
        if (!in.Open(ansi.c_str(), CFileStream::kRead) || !in.Seek(kPayloadOffset) ||
            !info.ReadHeader(in)) {
            Problem(kPayloadOffset, "the installer's reader refuses the payload");
            return;
        }
        if (!CheckIntegrity(in, PayloadEnd(info)))
            Problem(PayloadEnd(info), "the installer's start-up check finds the file damaged");
    }

    std::string m_path;
    Diagnostics* m_diag;
    Bytes m_image;
    Payload m_payload;
    PayloadLayout m_layout;
    int m_problems = 0;
    int m_pictures = 0;
    std::string m_summary;
};

}  // namespace

bool VerifySetup(const std::string& path, Diagnostics* diagnostics, std::string* summary) {
    summary->clear();
    return SetupVerifier(path, diagnostics).Run(summary);
}
