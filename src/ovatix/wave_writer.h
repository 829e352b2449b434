// Output writers: each owns a worker thread that asks its client (the scene) for the next buffer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "ovatix/wave_buffer.h"

// Events passed to the writer callback.
enum WaveWriterEvent : uint32_t { kWriterOpened = 0, kWriterBufferDone = 1, kWriterClosed = 2 };

using WaveWriterCallback = void (*)(void* user, uint32_t event);

class TWaveWriter {
 public:
  TWaveWriter(WaveWriterCallback callback, void* user) : callback_(callback), user_(user) {}
  virtual ~TWaveWriter() = default;
  TWaveWriter(const TWaveWriter&) = delete;
  TWaveWriter& operator=(const TWaveWriter&) = delete;

  // buffer's format and byte size define the output.
  virtual void Open(const std::string& name, const TWaveBuffer& buffer) = 0;
  virtual void Close() = 0;
  // Copies one buffer's worth of bytes (at most size).
  virtual void WriteBuffer(const uint8_t* bytes, size_t size) = 0;
  virtual int32_t FreeBuffers() const = 0;
  uint32_t WrittenCount() const { return written_.load(); }
  uint32_t DoneCount() const { return done_.load(); }

 protected:
  void Notify(uint32_t event) { callback_(user_, event); }

  WaveWriterCallback callback_;
  void* user_;
  std::atomic<uint32_t> done_{0};
  std::atomic<uint32_t> written_{0};
};

// Plays through an audio output device with two buffers in flight. The device is given by its
// number as decimal text: -1 is the default output, n >= 0 the n-th output device.
class TDeviceWaveWriter : public TWaveWriter {
 public:
  TDeviceWaveWriter(WaveWriterCallback callback, void* user);
  ~TDeviceWaveWriter() override;

  void Open(const std::string& name, const TWaveBuffer& buffer) override;
  void Close() override;
  void WriteBuffer(const uint8_t* bytes, size_t size) override;
  int32_t FreeBuffers() const override;
  bool IsOpen() const;

  // Opens without an output device: Pull() then plays the part of the device (used to check the
  // buffer handling where no sound device exists).
  void OpenDetached(const TWaveBuffer& buffer);

  // Called by the audio system's thread: fills out with queued bytes, silence when none. false
  // once the device has played nothing but silence for kIdleSeconds: the stream then ends and the
  // worker plays the device's part, at its pace and without a sound, until a block with sound
  // comes, which starts the stream again.
  bool Pull(uint8_t* out, size_t frames);
  static constexpr int kIdleSeconds = 3;
  // Whether the stream is ended for silence. Any thread.
  bool Idle() const { return idle_.load(); }
  // Records an event of the output and wakes the worker.
  void Signal(uint32_t event);

 private:
  void Worker();
  void CloseLocked();
  void Prepare(const TWaveBuffer& buffer);
  // While the stream is ended for silence: stops it; starts it again as soon as a queued block
  // has sound (skipping the silent ones before it); otherwise, when a block's time has passed,
  // takes the oldest queued block as played.
  void StandIn(bool blockDue);

  mutable std::mutex mutex_;  // guards the stream and the blocks against Close
  void* stream_ = nullptr;
  bool open_ = false;
  std::vector<uint8_t> blocks_[2];
  size_t blockBytes_ = 0;
  size_t frameBytes_ = 0;
  size_t playOffset_ = 0;                         // read position inside the block being played
  std::atomic<bool> silent_[2] = {false, false};  // each block holds nothing but silence
  uint8_t silenceByte_ = 0;
  uint32_t rate_ = 0;
  size_t silentFrames_ = 0;  // the audio thread's own: silence played in a row
  std::atomic<bool> idle_{false};
  bool streamStopped_ = false;  // under mutex_: stopped by the worker while idle
  std::counting_semaphore<> event_{0};
  std::atomic<int32_t> pending_{0};
  std::atomic<uint32_t> lastEvent_{kWriterClosed};
  std::atomic<bool> quit_{false};
  std::thread worker_;
};

// Renders into a wave file as fast as the client delivers buffers.
class TFileWaveWriter : public TWaveWriter {
 public:
  TFileWaveWriter(WaveWriterCallback callback, void* user);
  ~TFileWaveWriter() override;

  void Open(const std::string& name, const TWaveBuffer& buffer) override;
  void Close() override;
  void WriteBuffer(const uint8_t* bytes, size_t size) override;
  int32_t FreeBuffers() const override;

 private:
  enum Control : int { kRun = 0, kQuit = 1, kSuspend = 2 };
  void Worker();

  std::mutex mutex_;  // guards buffer_ between the worker, WriteBuffer and Close
  std::condition_variable wake_;
  std::unique_ptr<TWaveBuffer> buffer_;
  int control_ = kSuspend;
  bool suspended_ = true;
  std::thread worker_;
};
