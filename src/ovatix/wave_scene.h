// The crowd-sound mixer: named instances of loaded waves, a master gain and an output writer.
// Owns its instances, master gain, mix buffer and writer. Client threads call any operation; the
// writer's worker thread only calls WriterCallback. Two locks, always taken in this order: the
// client lock (serialises the client threads; never taken by the worker, so it may be held while
// a writer opens or closes) and the scene lock (guards what rendering reads).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ovatix/volumer.h"
#include "ovatix/wave_buffer.h"
#include "ovatix/wave_writer.h"

class TWaveScene {
 public:
  enum State : uint8_t { kStopped = 0, kPlaying = 1, kPaused = 2 };
  enum EndAction : uint8_t { kEndNone = 0, kEndStop = 1, kEndRemove = 2 };
  enum OutputKind : uint8_t { kOutputDevice = 1, kOutputFile = 2 };

  struct BuffInstance {
    std::string name;
    std::shared_ptr<TWaveBuffer> wave;
    uint8_t state = 0;  // 1 playing, 0 stopped
    int32_t loops = 0;
    uint32_t position = 0;
    float pitch = 1.0f;
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t groupId = 0;
    int32_t delay = 0;
    TVolumer envelope;
    uint8_t notifyMask = 0;
    uint8_t endAction = kEndNone;

    explicit BuffInstance(const std::vector<float>& unit) : envelope(unit) {}
    ~BuffInstance() {
      if (wave) {
        wave->Release();
      }
    }
  };

  // Snapshot of one instance for inspection.
  struct InstanceInfo {
    std::string name;
    uint8_t state;
    int32_t loops;
    uint32_t position;
    float pitch;
    uint32_t groupId;
    int32_t delay;
    uint8_t endAction;
    bool envelopeFinished;
    std::vector<float> gains;
  };

  TWaveScene();
  ~TWaveScene();
  TWaveScene(const TWaveScene&) = delete;
  TWaveScene& operator=(const TWaveScene&) = delete;

  void SetSceneFormat(uint32_t rate, uint8_t channels, uint8_t bits, uint32_t bufferMs);
  void SetOutputDevice(uint8_t kind, const std::string& name);
  // Destroys the writer: the scene is then rendered by RenderFrames only.
  void RemoveOutput();
  void Play();
  void Pause();
  void Stop();
  State GetState() const { return static_cast<State>(state_.load()); }
  bool HasFormat() const;
  uint32_t SampleRate() const;
  uint8_t Channels() const;
  int32_t BufferFrames() const;

  void AddInstance(const std::shared_ptr<TWaveBuffer>& wave, const std::string& name,
                   uint32_t groupId);
  void PlayInstance(const std::string& name);
  void SetInstanceDelay(const std::string& name, int32_t ms);
  void SetInstancePitch(const std::string& name, float pitch);
  void SetInstanceLoops(const std::string& name, int32_t loops);
  uint32_t GetInstanceLength(const std::string& name, bool rangeOnly);
  void InstanceAddVolumeNodeCh(const std::string& name, int32_t ms, uint8_t endAction,
                               const std::vector<float>& gains);
  void InstanceAddVolumeNode(const std::string& name, int32_t ms, float gain, uint8_t endAction);
  void SetInstanceVolumeCh(const std::string& name, int32_t ms, uint8_t endAction,
                           const std::vector<float>& gains);
  void SetInstanceVolume(const std::string& name, int32_t ms, float gain, uint8_t endAction);
  void SetInstanceGroup(const std::string& name, uint32_t groupId);
  uint32_t CountInGroup(uint32_t groupId);
  void ForEachInGroup(uint32_t groupId, const std::function<bool(const std::string&)>& callback);
  uint32_t CountGroups(uint32_t minimum);
  uint32_t OldestGroup(uint32_t minimum);
  void StopAll();
  void Clear();
  size_t InstanceCount();
  std::vector<InstanceInfo> Instances();

  void SetVolume(int32_t ms, const std::vector<float>& gains);
  // Current master gains (empty without a format).
  std::vector<float> GetVolume();
  void Mute(bool mute);
  bool IsMuted();

  // Renders one buffer into the mix buffer (under the scene lock) and returns its bytes.
  const TWaveBuffer& RenderBuffer();
  // Renders frames into out (interleaved 16-bit), in mix-buffer-sized steps, on the caller's
  // thread. Outputs silence unless playing. Raises without a format.
  void RenderFrames(int16_t* out, uint32_t frames);

  // Held by the engine's exports for their whole duration; recursive.
  std::recursive_mutex& ClientLock() const { return clientLock_; }

  static void WriterCallback(void* user, uint32_t event);
  // The current writer (null when none); for inspection only.
  TWaveWriter* Writer() { return writer_.get(); }

 private:
  void CheckFormat() const;
  BuffInstance& Find(const std::string& name);
  // Removes the instances for which remove returns true, and their names from the index.
  template <typename Predicate>
  void EraseInstances(Predicate remove);
  void ClearInstances();
  void RenderLocked(uint32_t frames);
  void Prime();
  uint32_t MsToFrames(uint32_t rate, int32_t ms) const;

  mutable std::recursive_mutex clientLock_;
  mutable std::recursive_mutex lock_;
  int32_t bufferFrames_ = 2700;
  std::vector<std::unique_ptr<BuffInstance>> instances_;
  // Instance names are unique: AddInstance reuses the instance of a name it already has.
  std::unordered_map<std::string, BuffInstance*> byName_;
  std::unique_ptr<TVolumer> master_;
  std::atomic<uint8_t> state_{kStopped};
  std::unique_ptr<TWaveBuffer> mix_;
  std::string deviceName_;
  std::unique_ptr<TWaveWriter> writer_;
};
