// mksetup: builds, inspects, checks and test-installs Windows installers.
#include <stdio.h>
#include <string.h>

#include "tools/mksetup/commands.h"

namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

void PrintUsage(FILE* to) {
    fprintf(to, "usage: mksetup COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : Commands()) fprintf(to, "  %-44s %s\n", c.usage, c.summary);
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

void ReportError(const std::string& file, const std::string& what) {
    fprintf(stderr, "mksetup: %s: %s\n", file.c_str(), what.c_str());
}

int main(int argc, char** argv) {
    if (argc < 2 || !strcmp(argv[1], "-h") || !strcmp(argv[1], "--help")) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const Command& c : Commands()) {
        if (strcmp(c.name, argv[1]) != 0) continue;
        return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    fprintf(stderr, "mksetup: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
