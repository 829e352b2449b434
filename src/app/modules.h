// The registry of loaded modules: shared libraries that export "InterfaceQuery".
#pragma once

#include <list>
#include <memory>
#include <string>

#include "framework/exception.h"

namespace Kesh::Moduling {

class InvalidModuleException : public Vell::Exception {
 public:
  using Exception::Exception;
  std::string ToString() const override { return "Invalid module passed"; }
};

class Module {
 public:
  using QueryFn = void* (*)(int id);

  // Looks up "InterfaceQuery"; throws InvalidModuleException when the library lacks it.
  explicit Module(void* handle);
  // The module's answer for interface id; null when it has no query function.
  void* Query(int id) const;
  void* Handle() const { return handle; }

 private:
  void* handle;
  QueryFn query = nullptr;
};

class ModuleList {
 public:
  ModuleList() = default;
  ModuleList(const ModuleList&) = delete;
  ModuleList& operator=(const ModuleList&) = delete;
  // Unloads every module, front to back.
  ~ModuleList();

  // Loads the library and appends it: its index, or -1 (list unchanged) when it cannot be
  // loaded. Throws InvalidModuleException when it has no "InterfaceQuery" (it is unloaded again).
  int Load(const std::string& path);
  // The module at index from the front, or null.
  Module* At(int index) const;
  int Count() const { return static_cast<int>(modules.size()); }
  // The loader's reason for the last failed Load.
  const std::string& LastError() const { return lastError; }

 private:
  std::list<std::unique_ptr<Module>> modules;
  std::string lastError;
};

}  // namespace Kesh::Moduling
