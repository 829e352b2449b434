// A module that answers interface 1 with a marker object and every other id with null.
#include <cstdint>

namespace {
int marker = 1234;
}

extern "C" __attribute__((visibility("default"))) void* InterfaceQuery(int32_t id) {
  return id == 1 ? &marker : nullptr;
}
