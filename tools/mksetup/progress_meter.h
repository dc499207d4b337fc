// Progress of long build steps on stderr. On a terminal one line is redrawn
// in place (at most ten times a second); otherwise, as in logs and scripts,
// only each finished step is printed. Quiet prints nothing.
#pragma once

#include <stdint.h>
#include <string>

class ProgressMeter {
  public:
    explicit ProgressMeter(bool quiet);

    // A step of `total` units; Update shows "label: done/total unit, size".
    void Begin(const std::string& label, uint64_t total, const std::string& unit);
    void Update(uint64_t done, uint64_t bytes);
    // Ends the step with one line: "label: summary".
    void End(const std::string& summary);
    // A step too short to need progress.
    void Note(const std::string& line);

  private:
    void Clear();

    bool m_bQuiet;
    bool m_bTerminal;
    bool m_bDrawn = false;
    std::string m_label, m_unit;
    uint64_t m_total = 0;
    int64_t m_lastDrawMs = 0;
};

// "12.3 MB", "456 KB", "789 bytes"
std::string FormatSize(uint64_t bytes);
