#include "audio/player.h"

#include <algorithm>
#include <cstring>

#include "tavro/stream.h"

namespace Kesh::Audio {
namespace {

// Rendered sound not pulled by the caller is kept for at most this long.
constexpr int64_t kMaxBufferedSeconds = 60;
// The longest span AdvanceOffline renders under the lock at once.
constexpr int64_t kAdvanceStepMs = 1000;

}  // namespace

Player::Player(std::unique_ptr<OutputProvider> outputs, std::string crowdLibrary)
    : provider(std::move(outputs)), crowd(std::move(crowdLibrary)) {
  worker = std::thread([this] { Run(); });
}

Player::~Player() {
  {
    std::lock_guard lock(mutex);
    quit = true;
    sequencer.Silence(ActiveSink());
  }
  wake.notify_all();
  worker.join();
  // The outputs' audio threads mix the crowd: they end before the crowd bridge does.
  output.reset();
  offlineOutput.reset();
}

void Player::Release(int) { delete this; }

void Player::Run() {
  std::unique_lock lock(mutex);
  while (!quit) {
    if (state != State::Playing || offline) {
      wake.wait(lock);
      continue;
    }
    sequencer.PlayUntil(PositionUs(), output.get());
    const int64_t next = sequencer.NextEventUs();
    if (next == Sequencer::kNever) {
      if (output) {
        output->SetSongPlaying(false);  // the last note has played: the applause may rise
      }
      wake.wait(lock);
    } else {
      wake.wait_until(lock, baseWall + std::chrono::microseconds(next - baseUs));
    }
  }
}

int64_t Player::PositionUs() const {
  if (state != State::Playing || offline) {
    return baseUs;
  }
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - baseWall);
  return baseUs + elapsed.count();
}

MidiSink* Player::ActiveSink() { return offline ? offlineOutput.get() : output.get(); }

std::unique_ptr<Output> Player::OpenOutput(int& device) {
  std::unique_ptr<Output> opened = provider->Open(device);
  if (!opened && device != 0) {
    device = 0;
    opened = provider->Open(0);
  }
  return Gained(std::move(opened));
}

std::unique_ptr<Output> Player::Gained(std::unique_ptr<Output> opened) const {
  if (opened) {
    opened->SetGain(musicGainDb.load());
  }
  return opened;
}

bool Player::SetMusicGain(float decibels) {
  if (!(decibels >= kMinMusicGainDb && decibels <= kMaxMusicGainDb)) {
    return false;
  }
  musicGainDb = decibels;
  std::lock_guard lock(mutex);
  for (Output* sink : {output.get(), offlineOutput.get()}) {
    if (sink != nullptr) {
      sink->SetGain(decibels);
    }
  }
  return true;
}

bool Player::SelectMidiOutput(int device, int) {
  const std::lock_guard swap(outputSwap);
  const std::vector<std::string> names = provider->List();
  if (device < 0 || device >= static_cast<int>(names.size())) {
    return false;
  }
  {
    std::lock_guard lock(mutex);
    if (output && selected == device) {
      return true;  // already playing there
    }
  }
  std::unique_ptr<Output> opened = Gained(provider->Open(device));
  if (!opened) {
    return false;
  }
  std::unique_ptr<Output> old;
  Output* fresh = nullptr;
  {
    std::lock_guard lock(mutex);
    KeepSoundFontState(opened.get());
    if (!offline) {
      sequencer.Silence(output.get());
      old = std::move(output);
      output = std::move(opened);
      output->SetSongPlaying(state == State::Playing);
      sequencer.Restore(output.get());
      fresh = output.get();
    }
    selected = device;
  }
  CarryCrowd(fresh);
  return true;  // the old output closes here, outside the lock
}

bool Player::Adopt(Midi::MidiFile&& song, const std::string& reason, bool ok) {
  std::lock_guard lock(mutex);
  if (!ok) {
    lastError = reason.empty() ? "unreadable MIDI file" : reason;
    return false;
  }
  lastError.clear();
  sequencer.Reset(ActiveSink());
  file = std::move(song);
  tempo = Midi::TempoMap(file.song);
  bars = Midi::BarMap(file.song);
  sequencer.Load(file);
  loaded = true;
  state = State::Stopped;
  baseUs = 0;
  wake.notify_all();
  return true;
}

bool Player::OpenFile(const char* path) {
  Midi::MidiFile song;
  std::string reason;
  bool ok = false;
  if (path == nullptr || *path == '\0') {
    reason = "no file name";
  } else {
    ok = Midi::ReadMidiFile(path, song, reason);
  }
  return Adopt(std::move(song), reason, ok);
}

bool Player::OpenStream(Vell::Data::File* stream) {
  Midi::MidiFile song;
  std::string reason;
  bool ok = false;
  if (stream == nullptr || !stream->IsOpen()) {
    reason = "no stream";
  } else {
    const int start = stream->Tell();
    const int size = stream->GetSize();
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max(size - start, 0)));
    size_t got = 0;
    while (got < bytes.size()) {
      const int n = stream->Read(bytes.data() + got, static_cast<int>(bytes.size() - got));
      if (n <= 0) {
        break;
      }
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    // The song may be followed by other data: read only the MIDI file and leave the stream
    // right after it.
    size_t extent = Midi::MidiExtent(bytes.data(), bytes.size());
    if (extent == 0) {
      extent = bytes.size();
    }
    ok = Midi::ReadMidi(bytes.data(), extent, song, reason);
    stream->Seek(ok ? start + static_cast<int>(extent) : start, 0);
  }
  return Adopt(std::move(song), reason, ok);
}

void Player::Play() {
  // Opening the synthesizer loads its SoundFont: do that outside the lock, so that position
  // queries from other threads are not held up.
  std::unique_ptr<Output> opened;
  Output* fresh = nullptr;
  int device = 0;
  bool needOutput = false;
  const std::lock_guard swap(outputSwap);
  {
    std::unique_lock lock(mutex);
    needOutput = loaded && state != State::Playing && !output && !offline;
    device = selected;
    if (loaded && state != State::Playing && output && !offline) {
      // A device closed for silence opens again before the clock starts (outside the lock, so
      // position queries do not wait; outputSwap keeps the output alive).
      Output* waking = output.get();
      lock.unlock();
      waking->Wake();
    }
  }
  if (needOutput) {
    opened = OpenOutput(device);
  }
  {
    std::lock_guard lock(mutex);
    if (!loaded || state == State::Playing) {
      return;
    }
    KeepSoundFontState(opened.get());
    if (!output && !offline && opened) {
      output = std::move(opened);
      selected = device;
      sequencer.Restore(output.get());
      fresh = output.get();
    }
    if (state == State::Paused) {
      sequencer.Resume(ActiveSink());
    }
    state = State::Playing;
    baseWall = Clock::now();
    if (output) {
      output->SetSongPlaying(true);
    }
  }
  CarryCrowd(fresh);
  wake.notify_all();
}

void Player::Pause() {
  {
    std::lock_guard lock(mutex);
    if (state != State::Playing) {
      return;
    }
    baseUs = PositionUs();
    state = State::Paused;
    sequencer.Silence(ActiveSink());
    if (output) {
      output->SetSongPlaying(false);
    }
  }
  wake.notify_all();
}

void Player::Stop() {
  {
    std::lock_guard lock(mutex);
    sequencer.Reset(ActiveSink());
    sequencer.Rewind();
    state = State::Stopped;
    baseUs = 0;
    if (output) {
      output->SetSongPlaying(false);
    }
  }
  wake.notify_all();
}

bool Player::IsPlaying() {
  std::lock_guard lock(mutex);
  return state == State::Playing;
}

bool Player::IsPaused() {
  std::lock_guard lock(mutex);
  return state == State::Paused;
}

int Player::GetPositionMs() {
  std::lock_guard lock(mutex);
  return static_cast<int>(std::min<int64_t>(PositionUs() / 1000, INT32_MAX));
}

void Player::GetTime(int64_t* elapsedMs) {
  if (elapsedMs == nullptr) {
    return;
  }
  std::lock_guard lock(mutex);
  *elapsedMs = PositionUs() / 1000;
}

int Player::GetPositionTicks() {
  std::lock_guard lock(mutex);
  return static_cast<int>(tempo.UsToTick(PositionUs()));
}

int Player::GetMidiOutputCount() { return static_cast<int>(provider->List().size()); }

bool Player::GetMidiOutputName(int index, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    return false;
  }
  const std::vector<std::string> names = provider->List();
  if (index < 0 || index >= static_cast<int>(names.size())) {
    buffer[0] = '\0';
    return false;
  }
  const size_t n = std::min(names[index].size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, names[index].data(), n);
  buffer[n] = '\0';
  return true;
}

int Player::GetCounter() {
  std::lock_guard lock(mutex);
  if (!loaded) {
    return 0;
  }
  return static_cast<int>(bars.BarAt(tempo.UsToTick(PositionUs())) + 1);
}

void Player::SetTranspose(int semitones) {
  std::lock_guard lock(mutex);
  sequencer.SetTranspose(semitones);
}

int Player::GetTranspose() {
  std::lock_guard lock(mutex);
  return sequencer.GetTranspose();
}

int Player::GetPan(int channel) {
  std::lock_guard lock(mutex);
  return sequencer.GetPan(channel);
}

void Player::SetPan(int channel, int pan) {
  std::lock_guard lock(mutex);
  sequencer.SetPan(channel, pan, ActiveSink());
}

int Player::GetVolume(int channel) {
  std::lock_guard lock(mutex);
  return sequencer.GetVolume(channel);
}

void Player::SetVolume(int channel, int volume) {
  std::lock_guard lock(mutex);
  sequencer.SetVolume(channel, volume, ActiveSink());
}

void Player::SetMute(int channel, bool mute) {
  std::lock_guard lock(mutex);
  sequencer.SetMute(channel, mute, ActiveSink());
}

bool Player::GetMute(int channel) {
  std::lock_guard lock(mutex);
  return sequencer.GetMute(channel);
}

const SongData* Player::GetSong() {
  std::lock_guard lock(mutex);
  return loaded ? &file.song : nullptr;
}

ICrowd* Player::GetCrowd() { return &crowd; }

const char* Player::GetLastError() {
  std::lock_guard lock(mutex);
  return lastError.c_str();
}

bool Player::SetOffline(bool enable, int sampleRate) {
  const std::lock_guard swap(outputSwap);
  // Outputs are made (the SoundFont loads) and closed outside the lock, so position queries from
  // other threads never wait for them.
  std::unique_ptr<Output> closing;
  std::unique_ptr<Output> closingOffline;
  if (enable) {
    if (sampleRate < 8000 || sampleRate > 192000) {
      return false;
    }
    std::unique_ptr<Output> synth = Gained(provider->OpenOffline(sampleRate));
    if (!synth) {
      return false;
    }
    {
      std::lock_guard lock(mutex);
      KeepSoundFontState(synth.get());
      if (!offline) {
        baseUs = PositionUs();
        sequencer.Silence(output.get());
        closing = std::move(output);  // the real-time output is reopened when leaving
      }
      offline = true;
      offlineRate = sampleRate;
      offlineClockUs = 0;
      offlineFrames = 0;
      rendered.clear();
      closingOffline = std::move(offlineOutput);
      offlineOutput = std::move(synth);
      sequencer.Restore(offlineOutput.get());
    }
    crowd.InitOffline(sampleRate);
    wake.notify_all();
    return true;
  }
  int device = 0;
  {
    std::lock_guard lock(mutex);
    if (!offline) {
      return true;
    }
    device = selected;
  }
  std::unique_ptr<Output> opened = OpenOutput(device);
  {
    std::lock_guard lock(mutex);
    KeepSoundFontState(opened.get());
    if (offline) {
      offline = false;
      closingOffline = std::move(offlineOutput);
      rendered.clear();
      baseWall = Clock::now();
      if (!output && opened) {
        output = std::move(opened);
        output->SetSongPlaying(state == State::Playing);
        selected = device;
        sequencer.Restore(output.get());
      }
    }
  }
  crowd.LeaveOffline();
  CarryCrowd(output.get());  // outputSwap keeps it
  wake.notify_all();
  return true;
}

void Player::CarryCrowd(Output* fresh) {
  if (fresh != nullptr) {
    crowd.CarryBy(fresh->CanCarry() ? fresh : nullptr);
  }
}

void Player::KeepSoundFontState(const Output* opened) {
  if (opened == nullptr) {
    return;
  }
  std::string note;
  const int state = opened->SoundFontState(&note);
  if (state != kSoundFontUnknown) {
    soundFontState = state;
    soundFontNote = std::move(note);
  }
}

namespace {
void CopyText(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    return;
  }
  const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}
}  // namespace

int Player::GetSoundFontState(char* text, int size) {
  std::lock_guard lock(mutex);
  CopyText(soundFontNote, text, size);
  return soundFontState;
}

bool Player::GetCrowdEngineError(char* text, int size) {
  const std::string error = crowd.LoadError();
  CopyText(error, text, size);
  return !error.empty();
}

void Player::RenderOfflineTo(int64_t clockUs) {
  // Split so that neither the product nor the frame count can overflow for any clock.
  const int64_t frames =
      clockUs / 1000000 * offlineRate + clockUs % 1000000 * offlineRate / 1000000;
  std::vector<int16_t> block;
  while (offlineFrames < frames) {
    // At most a second at a time: a long span never needs a long buffer.
    const int count = static_cast<int>(std::min<int64_t>(frames - offlineFrames, offlineRate));
    block.assign(static_cast<size_t>(count) * 2, 0);
    offlineOutput->Render(block.data(), count);
    crowd.MixInto(block.data(), count,
                  state == State::Playing && sequencer.NextEventUs() != Sequencer::kNever);
    rendered.insert(rendered.end(), block.begin(), block.end());
    offlineFrames += count;
    const size_t limit = static_cast<size_t>(kMaxBufferedSeconds * offlineRate * 2);
    if (rendered.size() > limit) {
      rendered.erase(rendered.begin(),
                     rendered.begin() + static_cast<long>(rendered.size() - limit));
    }
  }
}

bool Player::AdvanceOffline(int milliseconds) {
  if (milliseconds < 0) {
    return false;
  }
  // A second of sound at a time, each under the lock, so that other threads get their turn
  // during a long span.
  int64_t left = milliseconds;
  do {
    const int64_t span = std::min<int64_t>(left, kAdvanceStepMs);
    left -= span;
    std::lock_guard lock(mutex);
    if (!offline) {
      return false;
    }
    AdvanceOfflineBy(span);
  } while (left > 0);
  return true;
}

void Player::AdvanceOfflineBy(int64_t milliseconds) {
  const int64_t end = offlineClockUs + milliseconds * 1000;
  // Render up to each due event, then play it, so that every event sounds at its own sample.
  for (;;) {
    int64_t stepEnd = end;
    if (state == State::Playing) {
      const int64_t next = sequencer.NextEventUs();
      if (next != Sequencer::kNever) {
        stepEnd = std::min(end, offlineClockUs + std::max<int64_t>(next - baseUs, 0));
      }
    }
    RenderOfflineTo(stepEnd);
    if (state == State::Playing) {
      baseUs += stepEnd - offlineClockUs;
      sequencer.PlayUntil(baseUs, offlineOutput.get());
    }
    offlineClockUs = stepEnd;
    if (offlineClockUs >= end) {
      break;
    }
  }
}

int Player::RenderOffline(int16_t* frames, int frameCount) {
  std::lock_guard lock(mutex);
  if (!offline || frames == nullptr || frameCount <= 0) {
    return 0;
  }
  const size_t n = std::min(static_cast<size_t>(frameCount), rendered.size() / 2);
  std::copy_n(rendered.begin(), n * 2, frames);
  rendered.erase(rendered.begin(), rendered.begin() + static_cast<long>(n * 2));
  return static_cast<int>(n);
}

}  // namespace Kesh::Audio
