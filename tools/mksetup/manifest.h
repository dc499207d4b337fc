// The build manifest: an INI-style UTF-8 text that describes one product
// (docs/manifest.md). Parsing checks the form only: sections, keys, UTF-8,
// duplicates, required keys and the shortcut limit. What the values mean
// (GBK, lengths, files) is checked by the builder, which reports against the
// line each value came from.
#pragma once

#include <string>
#include <vector>

#include "payload/setup_info.h"
#include "tools/mksetup/diagnostics.h"

struct ManifestSetting {
    std::string value;  // UTF-8, trimmed, surrounding quotes removed
    int line = 0;       // 0: not given
    bool given() const { return line > 0; }
};

struct ManifestShortcut {
    int line = 0;  // of its [Shortcut] header
    ManifestSetting name, target, icon, location;
};

struct Manifest {
    std::string path;  // as given on the command line
    std::string dir;   // its folder, the base of relative paths ("" for the current one)
    ManifestSetting productName, version, publisherKey, installDir, menuFolder;
    std::vector<ManifestShortcut> shortcuts;  // at most kMaxShortcuts
    ManifestSetting pictures[kImageCount];    // by ImageRole
    ManifestSetting archives[2];
    ManifestSetting uninstaller;
};

// The manifest key of each picture role, and a name for messages.
const char* PictureKey(int role);
const char* PictureRoleName(int role);

// Reads and parses the file; errors go to diagnostics. False on any error.
bool ReadManifest(const std::string& path, Manifest* manifest, Diagnostics* diagnostics);
bool ParseManifestText(const std::string& text, const std::string& path, Manifest* manifest,
                       Diagnostics* diagnostics);

// A file named in the manifest, relative to the manifest's folder unless absolute.
std::string ManifestRelativePath(const Manifest& manifest, const std::string& name);
