#include "audio/outputs.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/drum_parts.h"
#include "audio/limiter.h"
#include "tavro/midi.h"

namespace Kesh::Audio {
namespace {

constexpr int kRealTimeRate = 44100;
constexpr int kPeriodFrames = 1024;
constexpr int kPeriods = 4;
constexpr int kDrumBank = 128;  // where SoundFonts keep their drum kits
// A sound device that only plays silence still wakes the sound server for every period, a steady
// share of a core: after this long of silence (release tails and reverb included) it is closed,
// and the next note opens it again.
constexpr int kIdleAfterSeconds = 3;
// Below -80 dB of full scale (a few steps of the 16-bit output) the synthesizer counts as silent:
// the reverb's last tail takes seconds more to reach zero.
constexpr float kSilentLevel = 1.0e-4f;
// The longest Play waits for a closed device to open again (it takes a few milliseconds).
constexpr int kMostWakeMs = 500;

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietFluid(int, const char*, void*) {}

// ALSA and FluidSynth report every missing device on standard error; a headless run is normal.
void QuietenLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Never let the synthesizer's JACK driver try to start a server (it stalls for seconds).
    setenv("JACK_NO_START_SERVER", "1", 0);
    snd_lib_error_set_handler(&QuietAlsa);
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, &QuietFluid, nullptr);
    }
  });
}

// The SoundFonts the built-in synthesizer tries, in order: the one asked for, then the installed
// General MIDI ones.
constexpr const char* kInstalledSoundFonts[] = {"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                                "/usr/share/sounds/sf2/TimGM6mb.sf2"};

struct SoundFontChoice {
  int state = kSoundFontNone;
  std::string note;  // "" when the SoundFont asked for loaded
};

// Loads the first SoundFont of the list that really loads into synth. A SoundFont that is not
// installed is no failure, one that is there and does not load is; $TAVRO_SOUNDFONT must load.
SoundFontChoice LoadSoundFont(fluid_synth_t* synth) {
  std::vector<std::string> candidates;
  const char* asked = std::getenv("TAVRO_SOUNDFONT");
  if (asked != nullptr && *asked != '\0') {
    candidates.emplace_back(asked);
  }
  for (const char* path : kInstalledSoundFonts) {
    if (candidates.empty() || candidates.front() != path) {
      candidates.emplace_back(path);
    }
  }
  std::vector<std::string> failures;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const std::string& path = candidates[i];
    const bool explicitlyAsked = i == 0 && asked != nullptr && *asked != '\0';
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    std::string reason;
    if (status.type() == std::filesystem::file_type::not_found) {
      if (!explicitlyAsked) {
        continue;  // not installed
      }
      reason = "there is no such file";
    } else if (error) {
      reason = error.message();
    } else if (status.type() == std::filesystem::file_type::directory) {
      reason = "it is a folder";
    } else if (status.type() != std::filesystem::file_type::regular) {
      reason = "it is not a regular file";
    } else if (fluid_synth_sfload(synth, path.c_str(), 1) == FLUID_FAILED) {
      reason = "it is not a SoundFont that loads";
    }
    if (reason.empty()) {
      if (failures.empty()) {
        return {kSoundFontLoaded, ""};
      }
      return {kSoundFontFallback,
              "The SoundFont " + failures.front() + "; playing with " + path + " instead"};
    }
    failures.push_back(path + " cannot be loaded: " + reason);
  }
  std::string note = "No SoundFont could be loaded";
  for (size_t i = 0; i < failures.size(); ++i) {
    note += (i == 0 ? " (" : "; ") + failures[i];
  }
  note += failures.empty() ? " (none is installed)" : ")";
  note +=
      ": the built-in synthesizer plays no music; install fluid-soundfont-gm or name a "
      "SoundFont in TAVRO_SOUNDFONT";
  return {kSoundFontNone, note};
}

// The synthesizer's gain for a level in decibels against the calibration (see limiter.h), within
// what the synthesizer accepts.
float MusicGain(float decibels) {
  return std::clamp(kCalibratedSynthGain * std::pow(10.0f, decibels / 20.0f), 0.0f, kMaxSynthGain);
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
    fluid_settings_setnum(settings, "synth.gain", MusicGain(0.0f));
    // Periods of 1024 frames (23 ms): every period wakes the sound server's client threads, which
    // costs far more than the synthesis when periods are short, while longer ones delay the sound
    // behind the stage. Four are buffered: with two, a busy machine (load 12 on two cores) held
    // this thread up past the buffer and the server played gaps of silence every second; Play to
    // sound stays about 35-40 ms (the server starts with what is buffered). Messages still sound
    // at their own sample: the callback places them inside the period (Process).
    fluid_settings_setint(settings, "audio.period-size", kPeriodFrames);
    fluid_settings_setint(settings, "audio.periods", kPeriods);
    synth = new_fluid_synth(settings);
    if (synth != nullptr) {
      soundFont = LoadSoundFont(synth);
    }
    if (synth == nullptr || offline) {
      return;
    }
    managed = true;  // before the callback can run
    for (const char* name : {"pipewire", "pulseaudio", "alsa"}) {
      if (fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK) {
        continue;
      }
      driver = new_fluid_audio_driver2(settings, &SynthOutput::Process, this);
      if (driver != nullptr) {
        keeper = std::thread([this] { KeepDevice(); });
        return;
      }
    }
    managed = false;
    // No sound device: render into nothing, paced by the wall clock, so the synthesizer behaves
    // as if it were heard (voices end, queues drain).
    pacer = std::thread([this] { Pace(); });
  }

  ~SynthOutput() override {
    stop = true;
    {
      std::lock_guard lock(pendingMutex);
      keeperWake.notify_all();
    }
    if (keeper.joinable()) {
      keeper.join();
    }
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

  int SoundFontState(std::string* note) const override {
    if (note != nullptr) {
      *note = soundFont.note;
    }
    return soundFont.state;
  }
  void SetGain(float decibels) override {
    if (synth != nullptr) {
      fluid_synth_set_gain(synth, MusicGain(decibels));
    }
  }

  void Send(const uint8_t* b, size_t n) override {
    if (n == 0) {
      return;
    }
    std::lock_guard lock(pendingMutex);
    if (driver == nullptr) {
      // No device (or one closed while silent): the synthesizer takes the message now, and a
      // note reopens a closed device.
      Apply(b, n);
      if (managed && IsSoundingNote(b, n)) {
        deviceWanted = true;
        keeperWake.notify_all();
      }
      return;
    }
    // The audio callback plays the message at the sample of the moment it was sent.
    Pending message{Clock::now(), 0, {}, {}};
    if (n <= message.shortBytes.size()) {
      std::copy_n(b, n, message.shortBytes.begin());
      message.length = static_cast<uint8_t>(n);
    } else {
      message.longBytes.assign(b, b + n);
    }
    pending.push_back(std::move(message));
  }

  void SetSongPlaying(bool playing) override {
    songPlaying.store(playing, std::memory_order_relaxed);
  }

  void Wake() override {
    std::unique_lock lock(pendingMutex);
    if (!managed || driver != nullptr) {
      return;
    }
    deviceWanted = true;
    keeperWake.notify_all();
    deviceOpened.wait_for(lock, std::chrono::milliseconds(kMostWakeMs),
                          [this] { return driver != nullptr || !deviceWanted || stop; });
  }

  bool CanCarry() const override { return !offline && managed; }

  void Carry(Underlay* mixed) override { underlay.store(mixed, std::memory_order_release); }

  void WakeSoon() override {
    std::lock_guard lock(pendingMutex);
    if (managed && !deviceWanted) {
      deviceWanted = true;
      keeperWake.notify_all();
    }
  }

  // Whether the sound device is open (false while it is closed for silence). Any thread.
  bool DeviceOpen() {
    std::lock_guard lock(pendingMutex);
    return driver != nullptr;
  }

 private:
  using Clock = std::chrono::steady_clock;

  // A message waiting for the audio callback.
  struct Pending {
    Clock::time_point sent;
    uint8_t length;  // of shortBytes; 0: the message is in longBytes
    std::array<uint8_t, 3> shortBytes;
    std::vector<uint8_t> longBytes;  // SysEx
  };

  static bool IsSoundingNote(const uint8_t* b, size_t n) {
    return n >= 3 && (b[0] & Midi::kKindMask) == Midi::kNoteOn && b[2] != 0;
  }

  // The keeper thread: closes the device once the callback has heard only silence for a while
  // and opens it again when a note comes (or the player wakes it). Opening and closing wait for
  // the sound server, so they happen here and never on a thread that holds a lock of the player.
  void KeepDevice() {
    std::unique_lock lock(pendingMutex);
    while (!stop) {
      keeperWake.wait(lock, [this] { return stop || (driver != nullptr) != deviceWanted; });
      if (stop) {
        break;
      }
      if (driver != nullptr && !deviceWanted) {
        fluid_audio_driver_t* closing = driver;
        driver = nullptr;
        lock.unlock();
        // The callback may still run until this returns; it finds what it needs under the lock.
        delete_fluid_audio_driver(closing);
        lock.lock();
        // What was queued for the closed device is played by the synthesizer now; a note that
        // came meanwhile opens it again.
        for (const Pending& m : pending) {
          const uint8_t* bytes = m.length > 0 ? m.shortBytes.data() : m.longBytes.data();
          const size_t size = m.length > 0 ? m.length : m.longBytes.size();
          Apply(bytes, size);
          deviceWanted = deviceWanted || IsSoundingNote(bytes, size);
        }
        pending.clear();
      } else if (driver == nullptr && deviceWanted) {
        lock.unlock();
        silentFrames = 0;
        fluid_audio_driver_t* opened =
            new_fluid_audio_driver2(settings, &SynthOutput::Process, this);
        lock.lock();
        driver = opened;
        if (opened == nullptr) {
          deviceWanted = false;  // the device is gone: messages go to the synthesizer directly
        }
        deviceOpened.notify_all();
      }
    }
  }

  // Plays one message on the synthesizer now.
  void Apply(const uint8_t* b, size_t n) {
    const std::array<bool, 16> wasDrum = DrumStates();
    parts.Follow(b, n);
    if (b[0] == Midi::kSysEx) {
      if (n >= 3) {
        fluid_synth_sysex(synth, reinterpret_cast<const char*>(b + 1), static_cast<int>(n - 2),
                          nullptr, nullptr, nullptr, 0);
        ApplyDrumParts(wasDrum, -1);
      }
      return;
    }
    const int ch = b[0] & Midi::kChannelMask;
    const int d1 = n > 1 ? b[1] : 0;
    const int d2 = n > 2 ? b[2] : 0;
    switch (b[0] & Midi::kKindMask) {
      case Midi::kNoteOff:
        fluid_synth_noteoff(synth, ch, d1);
        break;
      case Midi::kNoteOn:
        if (d2 == 0) {
          fluid_synth_noteoff(synth, ch, d1);
        } else {
          fluid_synth_noteon(synth, ch, d1, d2);
        }
        break;
      case Midi::kKeyPressure:
        fluid_synth_key_pressure(synth, ch, d1, d2);
        break;
      case Midi::kControlChange:
        if (d1 == Midi::kBankSelect && (d2 == Midi::kGm2RhythmBank || d2 == Midi::kGm2MelodyBank)) {
          // The SoundFont has neither GM2 bank: they become the channel's type (at the next
          // program change) and bank 0.
          fluid_synth_cc(synth, ch, Midi::kBankSelect, 0);
          break;
        }
        fluid_synth_cc(synth, ch, d1, d2);
        break;
      case Midi::kProgramChange:
        if (!ApplyDrumParts(wasDrum, d1)) {
          fluid_synth_program_change(synth, ch, d1);
        }
        break;
      case Midi::kChannelPressure:
        fluid_synth_channel_pressure(synth, ch, d1);
        break;
      case Midi::kPitchBend:
        fluid_synth_pitch_bend(synth, ch, d1 | (d2 << 7));
        break;
      default:
        break;
    }
  }

 public:
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
        *frames++ = ToS16(SoftLimit(left[i]));
        *frames++ = ToS16(SoftLimit(right[i]));
      }
      frameCount -= n;
    }
    return true;
  }

 private:
  // The audio driver's callback: the synthesizer's sound (effects mixed in) through the limiter.
  // The period stands for the span of wall-clock time that ends now; each message sent in it is
  // played at its own sample, so long periods do not move notes.
  static int Process(void* data, int len, int nfx, float* fx[], int nout, float* out[]) {
    auto* self = static_cast<SynthOutput*>(data);
    const Clock::time_point now = Clock::now();
    const auto span = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(len) / kRealTimeRate));
    // Periods follow each other; a period that would end in the future, or one that falls more
    // than a period behind (a stall), starts the count again from now.
    if (self->periodStart + span > now || self->periodStart + 2 * span < now) {
      self->periodStart = now - span;
    }
    const Clock::time_point start = self->periodStart;
    self->periodStart += span;
    {
      std::lock_guard lock(self->pendingMutex);
      self->playing.swap(self->pending);
    }
    int done = 0;
    int result = FLUID_OK;
    size_t next = 0;
    while (done < len && result == FLUID_OK) {
      int until = len;
      for (; next < self->playing.size(); ++next) {
        const Pending& m = self->playing[next];
        const int at = static_cast<int>(std::clamp<int64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(m.sent - start).count() *
                kRealTimeRate / 1000000,
            0, len - 1));
        if (at > done) {
          until = at;
          break;
        }
        if (m.length > 0) {
          self->Apply(m.shortBytes.data(), m.length);
        } else {
          self->Apply(m.longBytes.data(), m.longBytes.size());
        }
      }
      result = self->RenderPart(done, until - done, nfx, fx, nout, out);
      done = until;
    }
    // A message sent after the period's end sounds at its last sample. Messages a failed render
    // left unplayed go back to the queue, ahead of newer ones, for the next period.
    {
      std::lock_guard lock(self->pendingMutex);
      self->playing.erase(self->playing.begin(), self->playing.begin() + static_cast<long>(next));
      self->pending.insert(self->pending.begin(), std::make_move_iterator(self->playing.begin()),
                           std::make_move_iterator(self->playing.end()));
      self->playing.clear();
    }
    for (int i = 0; i < nout; ++i) {
      for (int j = 0; j < len; ++j) {
        out[i][j] = SoftLimit(out[i][j]);
      }
    }
    // The crowd goes in after the limiter, as in a rendered video, held under the music.
    if (Underlay* under = self->underlay.load(std::memory_order_acquire);
        under != nullptr && nout >= 2) {
      under->MixUnder(self, out[0], out[1], len, self->songPlaying.load(std::memory_order_relaxed));
    }
    bool silent = true;
    for (int i = 0; i < nout && silent; ++i) {
      for (int j = 0; j < len && silent; ++j) {
        silent = std::fabs(out[i][j]) < kSilentLevel;
      }
    }
    // Silence long enough closes the device (through the keeper; this thread must not wait).
    self->silentFrames = silent ? self->silentFrames + len : 0;
    if (self->silentFrames >= kIdleAfterSeconds * kRealTimeRate && self->managed &&
        !self->songPlaying.load(std::memory_order_relaxed)) {
      std::lock_guard lock(self->pendingMutex);
      if (self->pending.empty() && self->deviceWanted) {
        self->deviceWanted = false;
        self->keeperWake.notify_all();
      }
    }
    return result;
  }

  // Renders count frames from offset into the driver's buffers.
  int RenderPart(int offset, int count, int nfx, float* fx[], int nout, float* out[]) {
    if (count <= 0) {
      return FLUID_OK;
    }
    float* outPart[8];
    float* fxPart[8];
    nout = std::min(nout, 8);
    nfx = std::min(nfx, 8);
    for (int i = 0; i < nout; ++i) {
      outPart[i] = out[i] + offset;
    }
    for (int i = 0; i < nfx; ++i) {
      fxPart[i] = fx[i] + offset;
    }
    if (nfx == 0 && nout >= 2) {
      float* mixed[4] = {outPart[0], outPart[1], outPart[0], outPart[1]};
      return fluid_synth_process(synth, count, 4, mixed, nout, outPart);
    }
    return fluid_synth_process(synth, count, nfx, fxPart, nout, outPart);
  }

  std::array<bool, 16> DrumStates() const {
    std::array<bool, 16> states{};
    for (int ch = 0; ch < Midi::kChannels; ++ch) {
      states[ch] = parts.IsDrum(ch);
    }
    return states;
  }

  // The synthesizer knows only channel 10 as drums by itself: every channel whose part changed
  // (GS rhythm-part messages, GM2 banks, resets) gets its type, an explicit bank (a drum channel
  // that turns melodic keeps the drum bank otherwise) and its program again. A program change
  // that caused the change passes its program; returns true when it was sent.
  bool ApplyDrumParts(const std::array<bool, 16>& before, int programChannelValue) {
    bool sent = false;
    for (int ch = 0; ch < Midi::kChannels; ++ch) {
      const bool drums = parts.IsDrum(ch);
      if (drums == before[ch]) {
        continue;
      }
      int font = 0;
      int bank = 0;
      int program = 0;
      fluid_synth_get_program(synth, ch, &font, &bank, &program);
      fluid_synth_set_channel_type(synth, ch, drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
      fluid_synth_bank_select(synth, ch, drums ? kDrumBank : 0);
      if (programChannelValue >= 0) {
        program = programChannelValue;
        sent = true;
      }
      fluid_synth_program_change(synth, ch, program);
    }
    return sent;
  }

  static int16_t ToS16(float v) {
    const float scaled = v * 32767.0f;
    if (scaled >= 32767.0f) {
      return 32767;
    }
    if (scaled <= -32768.0f) {
      return -32768;
    }
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
  SoundFontChoice soundFont;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_audio_driver_t* driver = nullptr;  // under pendingMutex once the keeper runs
  std::thread pacer;
  std::thread keeper;
  bool managed = false;  // the keeper closes and opens the device; set before the callback runs
  std::atomic<bool> stop{false};
  DrumParts parts;  // touched only where messages are applied
  std::mutex pendingMutex;
  std::condition_variable keeperWake;
  std::condition_variable deviceOpened;
  bool deviceWanted = true;              // under pendingMutex
  std::atomic<bool> songPlaying{false};  // no closing for silence while true
  std::atomic<Underlay*> underlay{nullptr};
  int64_t silentFrames = 0;      // the audio callback's own (reset by the keeper before it opens)
  std::vector<Pending> pending;  // sent, not yet played; under pendingMutex
  std::vector<Pending> playing;  // the audio callback's own
  Clock::time_point periodStart;
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
  for (const char* path : kInstalledSoundFonts) {
    if (std::filesystem::is_regular_file(path, ec)) {
      return path;
    }
  }
  return {};
}

std::unique_ptr<OutputProvider> MakeSystemOutputs() { return std::make_unique<SystemOutputs>(); }

}  // namespace Kesh::Audio
