#include "tools/mksetup/progress_meter.h"

#include <stdio.h>
#include <time.h>
#include <unistd.h>

namespace {

int64_t NowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

std::string FormatSize(uint64_t bytes) {
    char text[32];
    if (bytes >= 10 * 1000 * 1000)
        snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    else if (bytes >= 10 * 1000)
        snprintf(text, sizeof text, "%.0f KB", bytes / 1e3);
    else
        snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

ProgressMeter::ProgressMeter(bool quiet) : m_bQuiet(quiet), m_bTerminal(isatty(2) != 0) {}

void ProgressMeter::Begin(const std::string& label, uint64_t total, const std::string& unit) {
    m_label = label;
    m_total = total;
    m_unit = unit;
    m_lastDrawMs = 0;
}

void ProgressMeter::Update(uint64_t done, uint64_t bytes) {
    if (m_bQuiet || !m_bTerminal) return;
    int64_t now = NowMs();
    if (done != m_total && now - m_lastDrawMs < 100) return;
    m_lastDrawMs = now;
    fprintf(stderr, "\r\033[K%s: %llu/%llu %s, %s", m_label.c_str(),
            static_cast<unsigned long long>(done), static_cast<unsigned long long>(m_total),
            m_unit.c_str(), FormatSize(bytes).c_str());
    fflush(stderr);
    m_bDrawn = true;
}

void ProgressMeter::End(const std::string& summary) { Note(m_label + ": " + summary); }

void ProgressMeter::Note(const std::string& line) {
    if (m_bQuiet) return;
    Clear();
    fprintf(stderr, "%s\n", line.c_str());
}

void ProgressMeter::Clear() {
    if (!m_bDrawn) return;
    fprintf(stderr, "\r\033[K");
    m_bDrawn = false;
}
