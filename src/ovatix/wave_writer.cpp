#include "ovatix/wave_writer.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "ovatix/error.h"

using Ovatix::Error;

namespace {

// The audio system is initialised once for all device writers and shut down with the last one.
// Its back ends would otherwise print their probing errors (no sound card, no JACK server) on
// standard error, and JACK would try to start a server.
class AudioSession {
 public:
  static bool Acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0) {
      setenv("JACK_NO_START_SERVER", "1", 0);
      snd_lib_error_set_handler(&SilentAlsa);
      jack_set_error_function(&SilentJack);
      jack_set_info_function(&SilentJack);
      if (Pa_Initialize() != paNoError) {
        return false;
      }
    }
    ++count_;
    return true;
  }
  static void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ > 0 && --count_ == 0) {
      Pa_Terminate();
    }
  }

 private:
  static void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
  static void SilentJack(const char*) {}
  static inline std::mutex mutex_;
  static inline int count_ = 0;
};

// The JACK client library allocates at load time and cannot be unloaded cleanly; it stays loaded
// for the life of the process even when this library is unloaded.
[[maybe_unused]] const bool g_jackResident =
    dlopen("libjack.so.0", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;

constexpr unsigned long kFramesPerPeriod = 1024;

int PaCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
               PaStreamCallbackFlags, void* user) {
  auto* self = static_cast<TDeviceWaveWriter*>(user);
  return self->Pull(static_cast<uint8_t*>(output), frames) ? paContinue : paComplete;
}

// The n-th device that has output channels, or the default output for -1.
PaDeviceIndex OutputDevice(int number) {
  if (number == -1) {
    return Pa_GetDefaultOutputDevice();
  }
  if (number < 0) {
    return paNoDevice;
  }
  int seen = 0;
  for (PaDeviceIndex i = 0, n = Pa_GetDeviceCount(); i < n; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info && info->maxOutputChannels > 0 && seen++ == number) {
      return i;
    }
  }
  return paNoDevice;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TDeviceWaveWriter

TDeviceWaveWriter::TDeviceWaveWriter(WaveWriterCallback callback, void* user)
    : TWaveWriter(callback, user) {
  worker_ = std::thread([this] { Worker(); });
}

TDeviceWaveWriter::~TDeviceWaveWriter() {
  pending_.store(0);
  quit_.store(true);
  event_.release();
  worker_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  CloseLocked();
}

void TDeviceWaveWriter::Worker() {
  for (;;) {
    bool signalled = true;
    if (idle_.load()) {
      // Nothing plays: the worker keeps the device's pace, one block at a time.
      std::chrono::microseconds block{0};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        const size_t frames = blockBytes_ / std::max<size_t>(frameBytes_, 1);
        block = std::chrono::microseconds(frames * 1000000 / std::max<uint32_t>(rate_, 1));
      }
      signalled = event_.try_acquire_for(std::max(block, std::chrono::microseconds(1000)));
    } else {
      event_.acquire();
    }
    if (quit_.load()) {
      return;
    }
    if (idle_.load()) {
      StandIn(!signalled);
    }
    if (!signalled) {
      continue;
    }
    while (pending_.load() != 0) {
      try {
        Notify(lastEvent_.load());
      } catch (...) {
        // The client reports its own failures; the output keeps running.
      }
      pending_.fetch_sub(1);
      if (quit_.load()) {
        return;
      }
    }
    if (idle_.load()) {
      StandIn(false);  // the client may just have queued a block with sound
    }
  }
}

void TDeviceWaveWriter::Signal(uint32_t event) {
  if (event == kWriterBufferDone) {
    done_.fetch_add(1);
  }
  lastEvent_.store(event);
  pending_.fetch_add(1);
  event_.release();
}

void TDeviceWaveWriter::Open(const std::string& name, const TWaveBuffer& buffer) {
  int number = 0;
  const char* first = name.data();
  const char* last = first + name.size();
  auto [end, ec] = std::from_chars(first, last, number);
  if (ec != std::errc() || end != last) {
    throw Error("TDeviceWaveWriter::Open: invalid device number '" + name + "'");
  }
  const WaveFormat& f = buffer.Format();
  std::lock_guard<std::mutex> lock(mutex_);
  CloseLocked();
  if (!AudioSession::Acquire()) {
    throw Error("TDeviceWaveWriter::Open: Cant open wave device");
  }
  PaStreamParameters out{};
  out.device = OutputDevice(number);
  const PaDeviceInfo* info = out.device == paNoDevice ? nullptr : Pa_GetDeviceInfo(out.device);
  PaStream* stream = nullptr;
  bool ok = info != nullptr && (f.bitsPerSample == 16 || f.bitsPerSample == 8);
  if (ok) {
    out.channelCount = f.channels;
    out.sampleFormat = f.bitsPerSample == 16 ? paInt16 : paUInt8;
    // The device's high latency and periods of 1024 frames (about 23 ms): the low latency woke
    // the sound server's client threads every few milliseconds, which cost more than all the
    // mixing, while the crowd is queued a block ahead (100 ms) anyway.
    out.suggestedLatency = info->defaultHighOutputLatency;
    out.hostApiSpecificStreamInfo = nullptr;
    ok = Pa_OpenStream(&stream, nullptr, &out, f.samplesPerSec, kFramesPerPeriod, paNoFlag,
                       &PaCallback, this) == paNoError;
  }
  if (!ok) {
    AudioSession::Release();
    throw Error("TDeviceWaveWriter::Open: Cant open wave device");
  }
  Prepare(buffer);
  stream_ = stream;
  if (Pa_StartStream(stream) != paNoError) {
    CloseLocked();
    throw Error("TDeviceWaveWriter::Open: Cant open wave device");
  }
  Signal(kWriterOpened);
}

void TDeviceWaveWriter::StandIn(bool blockDue) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || stream_ == nullptr || !idle_.load()) {
    return;
  }
  auto* stream = static_cast<PaStream*>(stream_);
  if (!streamStopped_) {
    // Ended by the callback; the audio system's thread still polls the device until stopped.
    Pa_StopStream(stream);
    streamStopped_ = true;
  }
  const uint32_t written = written_.load();
  bool sound = false;
  for (uint32_t b = done_.load(); b != written; ++b) {
    sound = sound || !silent_[b % 2].load();
  }
  if (!sound) {
    if (blockDue && done_.load() != written) {
      playOffset_ = 0;
      Signal(kWriterBufferDone);  // played, as far as anyone can hear
    }
    return;
  }
  // A block with sound is queued: the silent ones before it are skipped and the stream starts
  // at once, so the sound comes no later than it would have from a running stream.
  playOffset_ = 0;
  while (silent_[done_.load() % 2].load()) {
    Signal(kWriterBufferDone);
  }
  silentFrames_ = 0;
  idle_.store(false);
  if (Pa_StartStream(stream) == paNoError) {
    streamStopped_ = false;
  } else {
    idle_.store(true);  // tried again with the next block
  }
}

void TDeviceWaveWriter::OpenDetached(const TWaveBuffer& buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseLocked();
  Prepare(buffer);
  Signal(kWriterOpened);
}

void TDeviceWaveWriter::Prepare(const TWaveBuffer& buffer) {
  blockBytes_ = buffer.Bytes();
  frameBytes_ = buffer.Format().blockAlign;
  rate_ = buffer.Format().samplesPerSec;
  silenceByte_ = buffer.Format().bitsPerSample == 8 ? 0x80 : 0;
  for (auto& b : blocks_) {
    b.assign(blockBytes_, silenceByte_);
  }
  playOffset_ = 0;
  silentFrames_ = 0;
  idle_.store(false);
  streamStopped_ = false;
  done_.store(0);
  written_.store(0);
  open_ = true;
}

void TDeviceWaveWriter::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseLocked();
}

void TDeviceWaveWriter::CloseLocked() {
  if (!open_) {
    return;
  }
  if (stream_) {
    auto* stream = static_cast<PaStream*>(stream_);
    Pa_AbortStream(stream);
    Pa_CloseStream(stream);
    stream_ = nullptr;
    AudioSession::Release();
  }
  open_ = false;
  for (auto& b : blocks_) {
    std::vector<uint8_t>().swap(b);
  }
  blockBytes_ = 0;
  Signal(kWriterClosed);
}

bool TDeviceWaveWriter::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void TDeviceWaveWriter::WriteBuffer(const uint8_t* bytes, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) {
    throw Error("TDeviceWaveWriter::WriteBuffer: WaveOutDevice not open.");
  }
  const uint32_t written = written_.load();
  if (written - done_.load() >= 2) {
    return;  // both blocks still queued: nothing may be overwritten
  }
  std::vector<uint8_t>& block = blocks_[written % 2];
  const size_t n = std::min(size, blockBytes_);
  std::memcpy(block.data(), bytes, n);
  std::memset(block.data() + n, silenceByte_, blockBytes_ - n);
  silent_[written % 2].store(
      std::all_of(block.begin(), block.end(), [this](uint8_t b) { return b == silenceByte_; }));
  written_.store(written + 1);
}

int32_t TDeviceWaveWriter::FreeBuffers() const {
  const auto queued = static_cast<int32_t>(written_.load() - done_.load());
  return std::max(0, 2 - queued);
}

bool TDeviceWaveWriter::Pull(uint8_t* out, size_t frames) {
  size_t bytes = frames * frameBytes_;
  bool silent = true;
  while (bytes > 0) {
    const uint32_t done = done_.load();
    if (done == written_.load() || blockBytes_ == 0) {
      std::memset(out, silenceByte_, bytes);  // nothing queued: the device plays silence
      break;
    }
    const std::vector<uint8_t>& block = blocks_[done % 2];
    silent = silent && silent_[done % 2].load();
    const size_t n = std::min(bytes, blockBytes_ - playOffset_);
    std::memcpy(out, block.data() + playOffset_, n);
    out += n;
    bytes -= n;
    playOffset_ += n;
    if (playOffset_ >= blockBytes_) {
      playOffset_ = 0;
      Signal(kWriterBufferDone);
    }
  }
  silentFrames_ = silent ? silentFrames_ + frames : 0;
  if (silentFrames_ >= size_t{kIdleSeconds} * rate_ && stream_ != nullptr && rate_ > 0) {
    idle_.store(true);
    event_.release();  // the worker takes over the pace
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// TFileWaveWriter

TFileWaveWriter::TFileWaveWriter(WaveWriterCallback callback, void* user)
    : TWaveWriter(callback, user) {
  worker_ = std::thread([this] { Worker(); });
}

TFileWaveWriter::~TFileWaveWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    control_ = kQuit;
  }
  wake_.notify_all();
  worker_.join();
  buffer_.reset();
}

void TFileWaveWriter::Worker() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (control_ == kQuit) {
      return;
    }
    if (control_ == kSuspend) {
      suspended_ = true;
      wake_.notify_all();
      wake_.wait(lock, [this] { return control_ != kSuspend; });
      suspended_ = false;
      continue;
    }
    lock.unlock();
    try {
      Notify(kWriterBufferDone);
    } catch (...) {
      // The client reports its own failures; the writer keeps running.
    }
    lock.lock();
    if (buffer_ && done_.load() < written_.load()) {
      try {
        buffer_->AppendToWaveFile();
      } catch (...) {
      }
      done_.fetch_add(1);
    }
    wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return control_ != kRun; });
  }
}

void TFileWaveWriter::Open(const std::string& name, const TWaveBuffer& buffer) {
  if (buffer_) {
    Close();
  }
  auto fresh = std::make_unique<TWaveBuffer>(buffer.Frames(), buffer.Format());
  fresh->CreateWaveFile(name);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    buffer_ = std::move(fresh);
    done_.store(0);
    written_.store(0);
    control_ = kRun;
  }
  wake_.notify_all();
}

void TFileWaveWriter::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!buffer_) {
    throw Error("Wave file not opened. Use Open method.");
  }
  control_ = kSuspend;
  wake_.notify_all();
  // Wait until the worker has really stopped, then close the file with its sizes fixed.
  wake_.wait(lock, [this] { return suspended_ || control_ == kQuit; });
  buffer_.reset();
}

void TFileWaveWriter::WriteBuffer(const uint8_t* bytes, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!buffer_) {
    throw Error("Wave file not opened. Use Open method.");
  }
  std::memcpy(buffer_->Data(), bytes, std::min(size, buffer_->Bytes()));
  written_.fetch_add(1);
}

int32_t TFileWaveWriter::FreeBuffers() const {
  return static_cast<int32_t>(done_.load() - written_.load() + 1);
}
