// The subcommands of mksetup. Each cmd_*.cpp registers its own with a static
// CommandRegistration; main() dispatches by name.
#pragma once

#include <string>
#include <vector>

typedef int (*CommandFn)(const std::vector<std::string>& args);  // returns the exit status

struct Command {
    const char* name;
    const char* usage;    // e.g. "pack IN OUT"
    const char* summary;  // one line for the help text
    CommandFn run;
};

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& Commands();

// "mksetup: <file>: <what>" on stderr.
void ReportError(const std::string& file, const std::string& what);
