// Error messages of build and verify: each names where the fault is (a file,
// a manifest line, an offset) and what is wrong, one line each, in the order
// found. A command collects them all before it gives up, so one run shows
// every fault of an input.
#pragma once

#include <string>
#include <vector>

class Diagnostics {
  public:
    // echo: print each message on stderr as "mksetup: WHERE: WHAT" when reported.
    explicit Diagnostics(bool echo = true) : m_bEcho(echo) {}

    void Error(const std::string& where, const std::string& what);

    bool HasErrors() const { return !m_messages.empty(); }
    size_t Count() const { return m_messages.size(); }
    const std::vector<std::string>& Messages() const { return m_messages; }  // "WHERE: WHAT"

  private:
    bool m_bEcho;
    std::vector<std::string> m_messages;
};

// "FILE:LINE", the usual form for a place in a text file.
std::string AtLine(const std::string& file, int line);
