// The player object of the module: song loading, the sequencer thread, the outputs, the mixer, the
// crowd bridge and the offline clock. Every operation takes one lock, so the user-interface thread
// and the frame thread may call at once; nothing slow (opening or closing an output, loading a
// SoundFont, opening the crowd scene) happens under it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/crowd_bridge.h"
#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"
#include "audio/outputs.h"
#include "audio/sequencer.h"
#include "tavro/player_module.h"

namespace Kesh::Audio {

class Player final : public IPlayer {
 public:
  // The range SetMusicGain takes, in decibels.
  static constexpr float kMinMusicGainDb = -40.0f;
  static constexpr float kMaxMusicGainDb = 20.0f;

  Player(std::unique_ptr<OutputProvider> outputs, std::string crowdLibrary);
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  ~Player();

  void Release(int flags) override;
  bool SelectMidiOutput(int device, int reserved) override;
  bool OpenStream(Vell::Data::File* stream) override;
  bool OpenFile(const char* path) override;
  void Play() override;
  void Pause() override;
  void Stop() override;
  bool IsPlaying() override;
  bool IsPaused() override;
  int GetPositionMs() override;
  void GetTime(int64_t* elapsedMs) override;
  int GetPositionTicks() override;
  int GetMidiOutputCount() override;
  bool GetMidiOutputName(int index, char* buffer, int size) override;
  int GetCounter() override;
  void SetTranspose(int semitones) override;
  int GetTranspose() override;
  int GetPan(int channel) override;
  void SetPan(int channel, int pan) override;
  int GetVolume(int channel) override;
  void SetVolume(int channel, int volume) override;
  void SetMute(int channel, bool mute) override;
  bool GetMute(int channel) override;
  const SongData* GetSong() override;
  ICrowd* GetCrowd() override;
  const char* GetLastError() override;
  bool SetOffline(bool offline, int sampleRate) override;
  bool AdvanceOffline(int milliseconds) override;
  int RenderOffline(int16_t* frames, int frameCount) override;
  int GetSoundFontState(char* text, int size) override;
  bool GetCrowdEngineError(char* text, int size) override;
  bool SetMusicGain(float decibels) override;

 private:
  enum class State { Stopped, Playing, Paused };
  using Clock = std::chrono::steady_clock;

  bool Adopt(Midi::MidiFile&& file, const std::string& reason, bool ok);
  void Run();
  int64_t PositionUs() const;  // lock held
  MidiSink* ActiveSink();      // lock held
  // Opens the output at device, else the built-in synthesizer (device becomes 0). Lock not held.
  std::unique_ptr<Output> OpenOutput(int& device);
  // Keeps what a newly opened output made of its SoundFonts. Lock held.
  void KeepSoundFontState(const Output* opened);
  // The output with the music gain applied (null stays null).
  std::unique_ptr<Output> Gained(std::unique_ptr<Output> opened) const;
  // The crowd rides in a freshly opened output's sound when it can carry it, else has a device of
  // its own. outputSwap held, mutex not (null: nothing changed).
  void CarryCrowd(Output* fresh);
  void RenderOfflineTo(int64_t clockUs);        // lock held
  void AdvanceOfflineBy(int64_t milliseconds);  // lock held

  std::atomic<float> musicGainDb{0.0f};  // see SetMusicGain
  mutable std::mutex mutex;
  // Taken before mutex by whatever replaces or closes the real-time output, and by Play while it
  // waits outside mutex for the output's device: the output stays alive meanwhile.
  std::mutex outputSwap;
  std::condition_variable wake;
  std::thread worker;
  bool quit = false;

  State state = State::Stopped;
  int64_t baseUs = 0;  // song position when the clock last started, or the held position
  Clock::time_point baseWall;

  std::unique_ptr<OutputProvider> provider;
  std::unique_ptr<Output> output;
  int selected = 0;

  bool offline = false;
  int offlineRate = 0;
  int64_t offlineClockUs = 0;
  int64_t offlineFrames = 0;
  std::unique_ptr<Output> offlineOutput;
  std::deque<int16_t> rendered;

  bool loaded = false;
  Midi::MidiFile file;
  Midi::TempoMap tempo;
  Midi::BarMap bars;
  Sequencer sequencer;
  std::string lastError;
  int soundFontState = kSoundFontUnknown;
  std::string soundFontNote;

  CrowdBridge crowd;
};

}  // namespace Kesh::Audio
