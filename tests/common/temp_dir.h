// A fresh directory under the system's temporary folder, removed with its contents at the end.
#pragma once

#include <filesystem>
#include <random>
#include <string>

class TempDir {
 public:
  TempDir() {
    std::random_device device;
    path = std::filesystem::temp_directory_path() /
           ("tavro-test-" + std::to_string(device()) + std::to_string(device()));
    std::filesystem::create_directories(path);
  }
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};
