#include "audio/outputs.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace Kesh::Audio {
namespace {

constexpr int kRealTimeRate = 44100;

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietFluid(int, const char*, void*) {}

// ALSA and FluidSynth report every missing device on standard error; a headless run is normal.
void QuietenLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&QuietAlsa);
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, &QuietFluid, nullptr);
    }
  });
}

std::string SynthName() {
  const std::string font = FindSoundFont();
  if (font.empty()) {
    return "Built-in synthesizer (no SoundFont)";
  }
  return "Built-in synthesizer (" + std::filesystem::path(font).stem().string() + ")";
}

class SynthOutput : public Output {
 public:
  // sampleRate 0: real time through the sound server, or clocked by the wall clock when no sound
  // device opens; otherwise offline, rendered by Render().
  explicit SynthOutput(int sampleRate) : offline(sampleRate > 0) {
    QuietenLibraries();
    settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", offline ? sampleRate : kRealTimeRate);
    fluid_settings_setint(settings, "synth.cpu-cores", 1);
    synth = new_fluid_synth(settings);
    const std::string font = FindSoundFont();
    if (synth != nullptr && !font.empty()) {
      fluid_synth_sfload(synth, font.c_str(), 1);
    }
    if (synth == nullptr || offline) {
      return;
    }
    for (const char* name : {"pipewire", "pulseaudio", "alsa"}) {
      if (fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK) {
        continue;
      }
      driver = new_fluid_audio_driver(settings, synth);
      if (driver != nullptr) {
        return;
      }
    }
    // No sound device: render into nothing, paced by the wall clock, so the synthesizer behaves
    // as if it were heard (voices end, queues drain).
    pacer = std::thread([this] { Pace(); });
  }

  ~SynthOutput() override {
    stop = true;
    if (pacer.joinable()) {
      pacer.join();
    }
    if (driver != nullptr) {
      delete_fluid_audio_driver(driver);
    }
    if (synth != nullptr) {
      delete_fluid_synth(synth);
    }
    delete_fluid_settings(settings);
  }

  bool Valid() const { return synth != nullptr; }

  void Send(const uint8_t* b, size_t n) override {
    if (n == 0) {
      return;
    }
    if (b[0] == 0xF0) {
      if (n >= 3) {
        fluid_synth_sysex(synth, reinterpret_cast<const char*>(b + 1), static_cast<int>(n - 2),
                          nullptr, nullptr, nullptr, 0);
        DrumPartSysex(b, n);
      }
      return;
    }
    const int ch = b[0] & 0x0F;
    const int d1 = n > 1 ? b[1] : 0;
    const int d2 = n > 2 ? b[2] : 0;
    switch (b[0] & 0xF0) {
      case 0x80:
        fluid_synth_noteoff(synth, ch, d1);
        break;
      case 0x90:
        if (d2 == 0) {
          fluid_synth_noteoff(synth, ch, d1);
        } else {
          fluid_synth_noteon(synth, ch, d1, d2);
        }
        break;
      case 0xA0:
        fluid_synth_key_pressure(synth, ch, d1, d2);
        break;
      case 0xB0:
        if (d1 == 0 && (d2 == 120 || d2 == 121)) {
          // GM2 rhythm and melody banks: the SoundFont has neither, so they become the channel's
          // type and bank 0.
          pendingType[ch] = d2 == 120 ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC;
          fluid_synth_cc(synth, ch, 0, 0);
          break;
        }
        fluid_synth_cc(synth, ch, d1, d2);
        break;
      case 0xC0:
        if (pendingType[ch] >= 0) {
          fluid_synth_set_channel_type(synth, ch, pendingType[ch]);
          pendingType[ch] = -1;
        }
        fluid_synth_program_change(synth, ch, d1);
        break;
      case 0xD0:
        fluid_synth_channel_pressure(synth, ch, d1);
        break;
      case 0xE0:
        fluid_synth_pitch_bend(synth, ch, d1 | (d2 << 7));
        break;
      default:
        break;
    }
  }

  bool Render(int16_t* frames, int frameCount) override {
    if (!offline) {
      return false;
    }
    constexpr int kBlock = 1024;
    float left[kBlock];
    float right[kBlock];
    while (frameCount > 0) {
      const int n = std::min(frameCount, kBlock);
      fluid_synth_write_float(synth, n, left, 0, 1, right, 0, 1);
      for (int i = 0; i < n; ++i) {
        *frames++ = ToS16(left[i]);
        *frames++ = ToS16(right[i]);
      }
      frameCount -= n;
    }
    return true;
  }

 private:
  // The synthesizer leaves drum parts to channel 10; GS "use for rhythm part" messages and the
  // GS and GM resets move them, so songs with drums elsewhere still sound right.
  void DrumPartSysex(const uint8_t* b, size_t n) {
    const bool gmOn = n == 6 && b[1] == 0x7E && b[3] == 0x09 && (b[4] == 0x01 || b[4] == 0x03);
    const bool gs = n == 11 && b[1] == 0x41 && b[3] == 0x42 && b[4] == 0x12 && b[5] == 0x40;
    if (gmOn || (gs && b[6] == 0x00 && b[7] == 0x7F)) {
      for (int ch = 0; ch < 16; ++ch) {
        SetChannelType(ch, ch == 9 ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
      }
      return;
    }
    if (gs && (b[6] & 0xF0) == 0x10 && b[7] == 0x15) {
      const int part = b[6] & 0x0F;  // parts 1-9 are channels 1-9, part 10 is 0, 11-16 stay
      const int ch = part == 0 ? 9 : part <= 9 ? part - 1 : part;
      SetChannelType(ch, b[8] == 0 ? CHANNEL_TYPE_MELODIC : CHANNEL_TYPE_DRUM);
    }
  }

  void SetChannelType(int ch, int type) {
    int font = 0;
    int bank = 0;
    int program = 0;
    fluid_synth_get_program(synth, ch, &font, &bank, &program);
    fluid_synth_set_channel_type(synth, ch, type);
    if (type == CHANNEL_TYPE_MELODIC) {
      fluid_synth_bank_select(synth, ch, 0);
    }
    fluid_synth_program_change(synth, ch, program);
  }

  static int16_t ToS16(float v) {
    const float scaled = v * 32767.0f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<int16_t>(scaled);
  }

  void Pace() {
    constexpr int kBlock = kRealTimeRate / 100;  // 10 ms
    std::vector<float> scratch(kBlock * 2);
    auto due = std::chrono::steady_clock::now();
    while (!stop) {
      fluid_synth_write_float(synth, kBlock, scratch.data(), 0, 2, scratch.data(), 1, 2);
      due += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(due);
    }
  }

  bool offline;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_audio_driver_t* driver = nullptr;
  std::thread pacer;
  std::atomic<bool> stop{false};
  int pendingType[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

class PortOutput : public Output {
 public:
  explicit PortOutput(std::unique_ptr<RtMidiOut> port) : port(std::move(port)) {}
  ~PortOutput() override {
    try {
      port->closePort();
    } catch (...) {
    }
  }
  void Send(const uint8_t* b, size_t n) override {
    try {
      port->sendMessage(b, n);
    } catch (...) {
    }
  }

 private:
  std::unique_ptr<RtMidiOut> port;
};

std::unique_ptr<RtMidiOut> MakeClient() {
  QuietenLibraries();
  try {
    return std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Tavro");
  } catch (...) {
    return nullptr;
  }
}

class SystemOutputs : public OutputProvider {
 public:
  std::vector<std::string> List() override {
    std::vector<std::string> names{SynthName()};
    if (auto client = MakeClient()) {
      try {
        const unsigned count = client->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
          names.push_back(client->getPortName(i));
        }
      } catch (...) {
      }
    }
    return names;
  }

  std::unique_ptr<Output> Open(int index) override {
    if (index == 0) {
      auto synth = std::make_unique<SynthOutput>(0);
      return synth->Valid() ? std::move(synth) : nullptr;
    }
    auto client = MakeClient();
    if (!client || index < 1) {
      return nullptr;
    }
    try {
      const auto port = static_cast<unsigned>(index - 1);
      if (port >= client->getPortCount()) {
        return nullptr;
      }
      client->openPort(port, "Tavro output");
      if (!client->isPortOpen()) {
        return nullptr;
      }
    } catch (...) {
      return nullptr;
    }
    return std::make_unique<PortOutput>(std::move(client));
  }

  std::unique_ptr<Output> OpenOffline(int sampleRate) override {
    auto synth = std::make_unique<SynthOutput>(sampleRate);
    return synth->Valid() ? std::move(synth) : nullptr;
  }
};

}  // namespace

std::string FindSoundFont() {
  std::error_code ec;
  if (const char* env = std::getenv("TAVRO_SOUNDFONT"); env != nullptr && *env != '\0') {
    if (std::filesystem::is_regular_file(env, ec)) {
      return env;
    }
  }
  for (const char* path :
       {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"}) {
    if (std::filesystem::is_regular_file(path, ec)) {
      return path;
    }
  }
  return {};
}

std::unique_ptr<OutputProvider> MakeSystemOutputs() { return std::make_unique<SystemOutputs>(); }

}  // namespace Kesh::Audio
