// The one temporary folder helper of the tests: a fresh folder under the system's temporary
// folder (created exclusively, so parallel tests never share one), removed with its contents when
// the object goes. Owned by the test that creates it; use from one thread at a time.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavro-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder from " + pattern);
    }
    path = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  // The full name of a file in the folder.
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::string operator/(const std::string& name) const { return File(name); }

  std::filesystem::path path;
};
