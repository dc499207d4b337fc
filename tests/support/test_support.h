// Shared helpers for the native tests.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

namespace testing_support {

// A fresh empty directory under the system's temporary folder (host path),
// removed with its contents when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string Join(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

std::vector<uint8_t> ReadHostFile(const std::string& hostPath);
void WriteHostFile(const std::string& hostPath, const std::vector<uint8_t>& bytes);
void WriteHostFile(const std::string& hostPath, const std::string& text);

// Host (UTF-8, '/') path to the core's ANSI form (GBK, '\').
std::string Ansi(const std::string& hostPath);

}  // namespace testing_support
