#include "tools/mksetup/manifest.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

namespace {

const char* const kPictureKeys[kImageCount] = {
    "Confirm", "DirectoryBanner", "ProgressLow", "ProgressHigh", "Header", "Spare",
};

const char* const kPictureRoleNames[kImageCount] = {
    "confirmation picture",      "directory page banner", "progress banner below 50 %",
    "progress banner from 50 %", "wizard header",         "spare picture",
};

enum Section { kNoSection, kProduct, kShortcut, kPictures, kArchives, kUninstaller };

struct SectionName {
    const char* name;
    Section section;
};

const SectionName kSections[] = {
    {"Product", kProduct},   {"Shortcut", kShortcut},       {"Pictures", kPictures},
    {"Archives", kArchives}, {"Uninstaller", kUninstaller},
};

std::string Trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = s.find_last_not_of(" \t");
    return s.substr(begin, end - begin + 1);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no
// zero byte (a zero would end the text in the installer's fields).
bool IsValidUtf8(const std::string& s) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t n = s.size(), i = 0;
    while (i < n) {
        unsigned c = p[i];
        if (c == 0) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned min;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, min = 0x10000;
        } else {
            return false;
        }
        if (n - i <= size_t(extra)) return false;
        unsigned code = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// A value may be written in double quotes to keep spaces at its ends.
std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

class ManifestParser {
  public:
    ManifestParser(const std::string& path, Manifest* manifest, Diagnostics* diagnostics)
        : m_path(path), m_manifest(manifest), m_diag(diagnostics) {}

    void Parse(const std::string& text) {
        size_t start = 0;
        // A UTF-8 byte order mark, as Windows editors write it.
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
        int line = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string content = text.substr(start, end - start);
            if (!content.empty() && content.back() == '\r') content.pop_back();
            ParseLine(++line, content);
            start = end + 1;
        }
        CheckRequired();
    }

  private:
    void Fail(int line, const std::string& what) { m_diag->Error(AtLine(m_path, line), what); }

    void ParseLine(int line, const std::string& raw) {
        if (!IsValidUtf8(raw)) {
            Fail(line, "not UTF-8 text (save the manifest as UTF-8)");
            return;
        }
        std::string content = Trim(raw);
        if (content.empty() || content[0] == ';' || content[0] == '#') return;
        if (content[0] == '[') {
            StartSection(line, content);
            return;
        }
        size_t equals = content.find('=');
        if (equals == std::string::npos) {
            Fail(line, "expected 'Key = value' or '[Section]', found '" + content + "'");
            return;
        }
        std::string key = Trim(content.substr(0, equals));
        std::string value = Unquote(Trim(content.substr(equals + 1)));
        if (key.empty()) {
            Fail(line, "a value without a key");
            return;
        }
        SetValue(line, key, value);
    }

    void StartSection(int line, const std::string& content) {
        m_section = kNoSection;
        m_skipSection = true;  // the keys of a rejected section are not reported again
        if (content.back() != ']') {
            Fail(line, "section header without ']': '" + content + "'");
            return;
        }
        std::string name = Trim(content.substr(1, content.size() - 2));
        const SectionName* found = nullptr;
        for (const SectionName& s : kSections)
            if (strcasecmp(s.name, name.c_str()) == 0) found = &s;
        if (!found) {
            Fail(line, "unknown section [" + name +
                           "] (known: [Product], [Shortcut], [Pictures], [Archives], "
                           "[Uninstaller])");
            return;
        }
        if (found->section == kShortcut) {
            if (m_manifest->shortcuts.size() >= size_t(kMaxShortcuts)) {
                Fail(line, "more than " + std::to_string(kMaxShortcuts) +
                               " shortcuts: the installer holds at most " +
                               std::to_string(kMaxShortcuts));
                return;
            }
            m_manifest->shortcuts.emplace_back();
            m_manifest->shortcuts.back().line = line;
        } else {
            int& first = m_sectionLine[found->section];
            if (first) {
                Fail(line, "section [" + std::string(found->name) +
                               "] given twice (first on line " + std::to_string(first) + ")");
                return;
            }
            first = line;
        }
        m_section = found->section;
        m_sectionName = found->name;
        m_skipSection = false;
    }

    struct KeyTarget {
        const char* key;
        ManifestSetting* setting;
    };

    void SetValue(int line, const std::string& key, const std::string& value) {
        if (m_skipSection) return;
        if (m_section == kNoSection) {
            Fail(line, "'" + key + "' comes before any section");
            return;
        }
        std::vector<KeyTarget> keys = KeysOf(m_section);
        for (const KeyTarget& k : keys) {
            if (strcasecmp(k.key, key.c_str()) != 0) continue;
            if (k.setting->given()) {
                Fail(line, std::string(k.key) + " given twice in [" + m_sectionName +
                               "] (first on line " + std::to_string(k.setting->line) + ")");
                return;
            }
            k.setting->value = value;
            k.setting->line = line;
            return;
        }
        std::string known;
        for (const KeyTarget& k : keys) known += (known.empty() ? "" : ", ") + std::string(k.key);
        Fail(line, "unknown key '" + key + "' in [" + m_sectionName + "] (known: " + known + ")");
    }

    std::vector<KeyTarget> KeysOf(Section section) {
        Manifest* m = m_manifest;
        switch (section) {
            case kProduct:
                return {{"Name", &m->productName},
                        {"Version", &m->version},
                        {"PublisherKey", &m->publisherKey},
                        {"InstallDir", &m->installDir},
                        {"MenuFolder", &m->menuFolder}};
            case kShortcut: {
                ManifestShortcut& s = m->shortcuts.back();
                return {{"Name", &s.name},
                        {"Target", &s.target},
                        {"Icon", &s.icon},
                        {"Location", &s.location}};
            }
            case kPictures: {
                std::vector<KeyTarget> keys;
                for (int i = 0; i < kImageCount; ++i)
                    keys.push_back({kPictureKeys[i], &m->pictures[i]});
                return keys;
            }
            case kArchives:
                return {{"Archive1", &m->archives[0]}, {"Archive2", &m->archives[1]}};
            case kUninstaller:
                return {{"Program", &m->uninstaller}};
            case kNoSection:
                break;
        }
        return {};
    }

    void Require(const ManifestSetting& setting, int sectionLine, const char* section,
                 const char* key) {
        if (!setting.given()) Fail(sectionLine, std::string("[") + section + "] needs " + key);
    }

    void CheckRequired() {
        if (!m_sectionLine[kProduct]) {
            Fail(0, "no [Product] section (it needs at least Name and InstallDir)");
        } else {
            Require(m_manifest->productName, m_sectionLine[kProduct], "Product", "Name");
            Require(m_manifest->installDir, m_sectionLine[kProduct], "Product", "InstallDir");
        }
        for (const ManifestShortcut& s : m_manifest->shortcuts) {
            Require(s.name, s.line, "Shortcut", "Name");
            Require(s.location, s.line, "Shortcut", "Location (Desktop or Programs)");
        }
    }

    std::string m_path;
    Manifest* m_manifest;
    Diagnostics* m_diag;
    Section m_section = kNoSection;
    std::string m_sectionName;
    bool m_skipSection = false;
    int m_sectionLine[kUninstaller + 1] = {};
};

}  // namespace

const char* PictureKey(int role) { return kPictureKeys[role]; }
const char* PictureRoleName(int role) { return kPictureRoleNames[role]; }

bool ParseManifestText(const std::string& text, const std::string& path, Manifest* manifest,
                       Diagnostics* diagnostics) {
    *manifest = Manifest();
    manifest->path = path;
    size_t slash = path.rfind('/');
    manifest->dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    size_t before = diagnostics->Count();
    ManifestParser(path, manifest, diagnostics).Parse(text);
    return diagnostics->Count() == before;
}

bool ReadManifest(const std::string& path, Manifest* manifest, Diagnostics* diagnostics) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        diagnostics->Error(path, std::string("cannot open: ") + strerror(errno));
        return false;
    }
    std::string text;
    char buffer[8192];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    bool readOk = !ferror(f);
    fclose(f);
    if (!readOk) {
        diagnostics->Error(path, std::string("cannot read: ") + strerror(errno));
        return false;
    }
    return ParseManifestText(text, path, manifest, diagnostics);
}

std::string ManifestRelativePath(const Manifest& manifest, const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    return manifest.dir + name;
}
