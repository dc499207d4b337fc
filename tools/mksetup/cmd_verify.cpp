// mksetup verify: tests every part of an installer; exit status 0 only for a
// sound one.
#include <stdio.h>

#include "tools/mksetup/commands.h"
#include "tools/mksetup/setup_verifier.h"

namespace {

int RunVerify(const std::vector<std::string>& args) {
    std::string path;
    bool quiet = false;
    for (const std::string& a : args) {
        if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (path.empty() && !a.empty() && a[0] != '-') {
            path = a;
        } else {
            path.clear();
            break;
        }
    }
    if (path.empty()) {
        fprintf(stderr, "usage: mksetup verify SETUP.exe [--quiet]\n");
        return 2;
    }
    Diagnostics diagnostics;
    std::string summary;
    if (VerifySetup(path, &diagnostics, &summary)) {
        if (!quiet) printf("%s: sound\n%s", path.c_str(), summary.c_str());
        return 0;
    }
    fprintf(stderr, "mksetup verify: %s: %zu problem%s\n", path.c_str(), diagnostics.Count(),
            diagnostics.Count() == 1 ? "" : "s");
    return 1;
}

const CommandRegistration kRegistration({"verify", "verify SETUP.exe [--quiet]",
                                         "test every part of an installer, report damage",
                                         RunVerify});

}  // namespace
