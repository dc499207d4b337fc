// mksetup build: a manifest and the files it names become one setup.exe (the
// installer program, the payload at kPayloadOffset, the integrity record).
#pragma once

#include <string>

#include "tools/mksetup/diagnostics.h"
#include "tools/mksetup/payload_writer.h"

struct BuildOptions {
    std::string manifestPath;
    std::string outputPath = "setup.exe";
    std::string stubPath;  // empty: the default lookup (see FindStub)
    bool quiet = false;    // no progress or summary on stderr
    int threads = 0;       // for deflating files; 0: one per core
};

// The whole installer in memory. False, with every fault found reported to
// diagnostics, when the inputs are not sound.
bool BuildSetupImage(const BuildOptions& options, Diagnostics* diagnostics, Bytes* image);

// BuildSetupImage, then the file written under a temporary name and renamed
// into place, so a failed build leaves no output (and an old one untouched).
bool BuildSetup(const BuildOptions& options, Diagnostics* diagnostics);

// The installer program when --stub is not given, first found of:
//   1. setup.exe beside the mksetup program;
//   2. the Windows x86 build of the same build tree as mksetup, which lives
//      in build/<preset>/tools/mksetup/: build/windows-x86/app/setup.exe;
//   3. build/windows-x86/app/setup.exe under the current directory.
// False with *tried listing the places looked at.
bool FindStub(std::string* path, std::string* tried);

// The uninstaller when the manifest names none: uninst.exe beside the
// installer program, then ../uninstaller/uninst.exe from it (the layout of a
// Windows build tree). False with *tried listing the places looked at.
bool FindUninstaller(const std::string& stubPath, std::string* path, std::string* tried);
