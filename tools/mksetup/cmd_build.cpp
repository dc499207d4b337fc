// mksetup build: makes setup.exe from a manifest (docs/manifest.md).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tools/mksetup/commands.h"
#include "tools/mksetup/setup_builder.h"

namespace {

const char kUsage[] =
    "usage: mksetup build MANIFEST [-o SETUP.exe] [--stub STUB.exe] [--quiet] [-j N]\n";

// Options and the one manifest; false (with a message) for anything else.
bool ParseArgs(const std::vector<std::string>& args, BuildOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if ((a == "-o" || a == "--output") && hasValue) {
            options->outputPath = args[++i];
        } else if (a == "--stub" && hasValue) {
            options->stubPath = args[++i];
        } else if ((a == "-j" || a == "--jobs") && hasValue) {
            options->threads = atoi(args[++i].c_str());
            if (options->threads < 1) {
                fprintf(stderr, "mksetup build: -j needs a count of at least 1\n");
                return false;
            }
        } else if (a == "-q" || a == "--quiet") {
            options->quiet = true;
        } else if (a == "-o" || a == "--output" || a == "--stub" || a == "-j" || a == "--jobs") {
            fprintf(stderr, "mksetup build: %s needs a value\n", a.c_str());
            return false;
        } else if (!a.empty() && a[0] == '-') {
            fprintf(stderr, "mksetup build: unknown option '%s'\n", a.c_str());
            return false;
        } else if (options->manifestPath.empty()) {
            options->manifestPath = a;
        } else {
            fprintf(stderr, "mksetup build: one manifest only ('%s')\n", a.c_str());
            return false;
        }
    }
    if (options->manifestPath.empty()) return false;
    return true;
}

int RunBuild(const std::vector<std::string>& args) {
    BuildOptions options;
    if (!ParseArgs(args, &options)) {
        fputs(kUsage, stderr);
        return 2;
    }
    Diagnostics diagnostics;
    if (BuildSetup(options, &diagnostics)) return 0;
    fprintf(stderr, "mksetup build: %zu error%s, nothing written\n", diagnostics.Count(),
            diagnostics.Count() == 1 ? "" : "s");
    return 1;
}

const CommandRegistration kRegistration(
    {"build", "build MANIFEST [-o SETUP.exe] [--stub STUB.exe] [--quiet] [-j N]",
     "make setup.exe from a manifest (docs/manifest.md)", RunBuild});

}  // namespace
