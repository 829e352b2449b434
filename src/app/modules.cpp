#include "app/modules.h"

#include "platform/platform.h"

namespace Kesh::Moduling {

using Vell::Platform::SharedLibrary;

Module::Module(void* handle) : handle(handle) {
  query = reinterpret_cast<QueryFn>(SharedLibrary::SymbolOf(handle, "InterfaceQuery"));
  if (query == nullptr) {
    throw InvalidModuleException();
  }
}

void* Module::Query(int id) const { return query != nullptr ? query(id) : nullptr; }

ModuleList::~ModuleList() {
  for (const auto& module : modules) {
    SharedLibrary::CloseHandle(module->Handle());
  }
  modules.clear();
}

int ModuleList::Load(const std::string& path) {
  SharedLibrary library;
  if (!library.Open(path)) {
    lastError = library.Error();
    return -1;
  }
  // A library without the query export is unloaded again (by `library`) as the exception leaves.
  if (library.Symbol("InterfaceQuery") == nullptr) {
    throw InvalidModuleException("'" + path + "' has no \"InterfaceQuery\" export");
  }
  auto module = std::make_unique<Module>(library.Release());
  modules.push_back(std::move(module));
  lastError.clear();
  return Count() - 1;
}

Module* ModuleList::At(int index) const {
  if (index < 0 || index >= Count()) {
    return nullptr;
  }
  auto it = modules.begin();
  std::advance(it, index);
  return it->get();
}

}  // namespace Kesh::Moduling
