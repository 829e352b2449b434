// Wave files from outside: the RIFF reader, the loader's checks and mixing what loads.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "ovatix/error.h"
#include "ovatix/volumer.h"
#include "ovatix/wave_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  std::vector<uint8_t> copy(data, data + size);
  std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
  if (!f) {
    return 0;
  }
  TWaveContainer waves;
  try {
    waves.Load(f, "fuzz.wav", "w");
  } catch (const Ovatix::Error&) {
    return 0;
  }
  const auto wave = waves.Find("w");
  TWaveBuffer mix(256, WaveFormat::Pcm(44100, 2, 16));
  TVolumer envelope({1.0f, 1.0f});
  envelope.AddNode({0.5f, 0.25f}, 100);
  for (float pitch : {1.0f, 0.61f, 1.7f}) {
    uint32_t position = 0;
    MixWave(*wave, position, wave->Frames(), mix, 0, mix.Frames(), pitch, nullptr, &envelope,
            pitch != 1.0f);
  }
  return 0;
}
