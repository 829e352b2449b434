// A player module that answers null for every interface.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) void* InterfaceQuery(int32_t id) {
  return nullptr;
}
