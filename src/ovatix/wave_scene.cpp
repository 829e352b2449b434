#include "ovatix/wave_scene.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "ovatix/error.h"

using Ovatix::Error;
using Lock = std::lock_guard<std::recursive_mutex>;

TWaveScene::TWaveScene() = default;

TWaveScene::~TWaveScene() {
  Lock client(clientLock_);
  Stop();
  {
    Lock lock(lock_);
    ClearInstances();
  }
  RemoveOutput();
}

template <typename Predicate>
void TWaveScene::EraseInstances(Predicate remove) {
  std::erase_if(instances_, [&](const std::unique_ptr<BuffInstance>& ip) {
    if (!remove(*ip)) {
      return false;
    }
    byName_.erase(ip->name);
    return true;
  });
}

void TWaveScene::ClearInstances() {
  byName_.clear();
  instances_.clear();
}

void TWaveScene::CheckFormat() const {
  if (!mix_) {
    throw Error("TWaveScene::CheckFormat: format not set. Use SetSceneFormat().");
  }
}

bool TWaveScene::HasFormat() const {
  Lock lock(lock_);
  return mix_ != nullptr;
}

uint32_t TWaveScene::SampleRate() const {
  Lock lock(lock_);
  return mix_ ? mix_->Format().samplesPerSec : 0;
}

uint8_t TWaveScene::Channels() const {
  Lock lock(lock_);
  return mix_ ? static_cast<uint8_t>(mix_->Format().channels) : 0;
}

int32_t TWaveScene::BufferFrames() const {
  Lock lock(lock_);
  return bufferFrames_;
}

uint32_t TWaveScene::MsToFrames(uint32_t rate, int32_t ms) const {
  if (ms <= 0) {
    return 0;
  }
  const uint64_t frames = static_cast<uint64_t>(rate) * static_cast<uint64_t>(ms) / 1000u;
  return static_cast<uint32_t>(
      std::min<uint64_t>(frames, static_cast<uint64_t>(std::numeric_limits<int32_t>::max())));
}

void TWaveScene::SetSceneFormat(uint32_t rate, uint8_t channels, uint8_t bits, uint32_t bufferMs) {
  if (bits != 16) {
    throw Error("TWaveScene::SetSceneFormat: only 16-bit scenes are supported");
  }
  if (rate == 0 || channels == 0) {
    throw Error("TWaveScene::SetSceneFormat: bad format");
  }
  const double frames = bufferMs * 0.001 * rate;
  if (frames < 1.0 || frames > 1 << 22) {
    throw Error("TWaveScene::SetSceneFormat: bad buffer length");
  }
  Lock client(clientLock_);
  const bool wasPlaying = GetState() == kPlaying;
  Stop();
  {
    // A render that started before the stop may still be running on the writer's thread.
    Lock lock(lock_);
    bufferFrames_ = static_cast<int32_t>(frames);
    auto mix = std::make_unique<TWaveBuffer>(static_cast<uint32_t>(bufferFrames_),
                                             WaveFormat::Pcm(rate, channels, bits));
    if (mix_ && mix_->Format().channels != channels) {
      ClearInstances();  // their envelopes have the old channel count
    }
    mix_ = std::move(mix);
    master_ = std::make_unique<TVolumer>(std::vector<float>(channels, 1.0f));
  }
  if (wasPlaying) {
    Play();
  }
}

void TWaveScene::SetOutputDevice(uint8_t kind, const std::string& name) {
  Lock client(clientLock_);
  {
    Lock lock(lock_);
    deviceName_ = name;
  }
  if (kind != kOutputDevice && kind != kOutputFile) {
    return;
  }
  RemoveOutput();
  std::unique_ptr<TWaveWriter> writer;
  if (kind == kOutputDevice) {
    writer = std::make_unique<TDeviceWaveWriter>(&WriterCallback, this);
  } else {
    writer = std::make_unique<TFileWaveWriter>(&WriterCallback, this);
  }
  Lock lock(lock_);
  writer_ = std::move(writer);
}

void TWaveScene::RemoveOutput() {
  Lock client(clientLock_);
  std::unique_ptr<TWaveWriter> old;
  {
    Lock lock(lock_);
    old = std::move(writer_);
  }
  // Destroyed outside the lock: its worker may be waiting for the lock inside a render request,
  // which then finds no writer and returns.
  old.reset();
}

void TWaveScene::Play() {
  Lock client(clientLock_);
  const State state = GetState();
  if (state == kPlaying) {
    return;
  }
  // Also from paused: a scene paused before it had a format must not claim to play.
  CheckFormat();
  if (state == kStopped) {
    // Not under the scene lock: opening may wait for the writer's worker, which may be waiting
    // for the lock. The client lock keeps other client threads from replacing the format or
    // the writer meanwhile.
    if (writer_) {
      writer_->Open(deviceName_, *mix_);
    }
  }
  state_.store(kPlaying);
  Prime();
}

void TWaveScene::Pause() { state_.store(kPaused); }

void TWaveScene::Stop() { state_.store(kStopped); }

void TWaveScene::Prime() {
  Lock lock(lock_);
  if (!writer_ || !mix_) {
    return;
  }
  for (int32_t n = writer_->FreeBuffers(); n > 0 && writer_->FreeBuffers() > 0; --n) {
    RenderLocked(static_cast<uint32_t>(bufferFrames_));
    writer_->WriteBuffer(mix_->Data(), mix_->Bytes());
  }
}

void TWaveScene::WriterCallback(void* user, uint32_t event) {
  auto* scene = static_cast<TWaveScene*>(user);
  try {
    Lock lock(scene->lock_);
    if (event != kWriterBufferDone || scene->GetState() != kPlaying) {
      return;
    }
    if (!scene->writer_ || !scene->mix_ || scene->writer_->FreeBuffers() <= 0) {
      return;
    }
    scene->RenderLocked(static_cast<uint32_t>(scene->bufferFrames_));
    scene->writer_->WriteBuffer(scene->mix_->Data(), scene->mix_->Bytes());
  } catch (...) {
    // The buffer stays as far as it got; the next request renders again.
  }
}

const TWaveBuffer& TWaveScene::RenderBuffer() {
  Lock lock(lock_);
  CheckFormat();
  RenderLocked(static_cast<uint32_t>(bufferFrames_));
  return *mix_;
}

void TWaveScene::RenderFrames(int16_t* out, uint32_t frames) {
  Lock lock(lock_);
  CheckFormat();
  const size_t channels = mix_->Format().channels;
  if (GetState() != kPlaying) {
    std::memset(out, 0, frames * channels * sizeof(int16_t));
    return;
  }
  while (frames > 0) {
    const uint32_t n = std::min(frames, static_cast<uint32_t>(bufferFrames_));
    RenderLocked(n);
    std::memcpy(out, mix_->Data(), n * channels * sizeof(int16_t));
    out += n * channels;
    frames -= n;
  }
}

void TWaveScene::RenderLocked(uint32_t frames) {
  const uint32_t b = std::min(frames, mix_->Frames());
  std::memset(mix_->Data(), 0, static_cast<size_t>(b) * mix_->Format().blockAlign);
  bool written = false;
  const bool masterIdentity = master_->IsIdentity();
  TVolumer masterCopy(std::vector<float>{});
  for (auto& ip : instances_) {
    BuffInstance& inst = *ip;
    if (inst.state != 1) {
      continue;
    }
    TVolumer* master = nullptr;
    if (!masterIdentity) {
      masterCopy = *master_;
      master = &masterCopy;
    }
    TVolumer* envelope = inst.envelope.IsIdentity() ? nullptr : &inst.envelope;
    uint32_t c = 0;
    while (c < b && inst.loops >= 0) {
      if (inst.delay <= 0) {
        const uint32_t used = MixWave(*inst.wave, inst.position, inst.end, *mix_, c, b, inst.pitch,
                                      master, envelope, written);
        c += used;
        if (inst.position >= inst.end) {
          --inst.loops;
          if (inst.loops >= 0) {
            inst.position = inst.start;
          }
          if (used == 0 && inst.start >= inst.end) {
            inst.loops = -1;  // an empty range never ends
          }
        }
      } else if (static_cast<uint32_t>(inst.delay) < b - c) {
        c += static_cast<uint32_t>(inst.delay);
        inst.delay = 0;
      } else {
        inst.delay -= static_cast<int32_t>(b);
        c = b;
      }
    }
    written = true;
    if (inst.loops < 0) {
      inst.state = 0;
    }
  }
  EraseInstances([](BuffInstance& inst) {
    const bool finished = inst.envelope.IsFinished();
    if ((inst.loops < 0 && inst.name.empty()) ||
        (inst.endAction == kEndRemove && (finished || inst.loops < 0))) {
      return true;
    }
    if (inst.endAction == kEndStop && finished) {
      inst.state = 0;
    }
    return false;
  });
  master_->Advance(b);
}

TWaveScene::BuffInstance& TWaveScene::Find(const std::string& name) {
  const auto it = byName_.find(name);
  if (it == byName_.end()) {
    throw Error("Instance with name=" + name + " not found");
  }
  return *it->second;
}

void TWaveScene::AddInstance(const std::shared_ptr<TWaveBuffer>& wave, const std::string& name,
                             uint32_t groupId) {
  Lock lock(lock_);
  CheckFormat();
  if (!wave) {
    throw Error("TWaveScene::AddInstance: no wave");
  }
  std::vector<float> unit(mix_->Format().channels, 1.0f);
  const auto known = byName_.find(name);
  BuffInstance* inst = known != byName_.end() ? known->second : nullptr;
  if (inst) {
    if (inst->wave) {
      inst->wave->Release();
    }
    inst->envelope = TVolumer(unit);
  } else {
    auto created = std::make_unique<BuffInstance>(unit);
    created->name = name;
    byName_.emplace(name, created.get());
    try {
      instances_.push_back(std::move(created));
    } catch (...) {
      byName_.erase(name);
      throw;
    }
    inst = instances_.back().get();
    inst->delay = 0;
    inst->notifyMask = 0;
  }
  wave->AddRef();
  inst->wave = wave;
  inst->state = 0;
  inst->position = 0;
  inst->loops = 0;
  inst->pitch = 1.0f;
  inst->start = 0;
  inst->end = wave->Frames();
  inst->endAction = kEndNone;
  inst->groupId = groupId;
}

void TWaveScene::PlayInstance(const std::string& name) {
  Lock lock(lock_);
  CheckFormat();
  BuffInstance& inst = Find(name);
  if (inst.loops < 0) {
    inst.loops = 0;
  }
  inst.position = inst.start;
  inst.state = 1;
}

void TWaveScene::SetInstanceDelay(const std::string& name, int32_t ms) {
  Lock lock(lock_);
  BuffInstance& inst = Find(name);
  const double frames = ms * 0.001 * SampleRate();
  inst.delay = static_cast<int32_t>(std::clamp(frames, -2147483648.0, 2147483647.0));
}

void TWaveScene::SetInstancePitch(const std::string& name, float pitch) {
  Lock lock(lock_);
  BuffInstance& inst = Find(name);
  if (!(pitch > 0.0f)) {
    throw Error("Pitch <= 0");
  }
  inst.pitch = pitch;
}

void TWaveScene::SetInstanceLoops(const std::string& name, int32_t loops) {
  Lock lock(lock_);
  Find(name).loops = loops;
}

uint32_t TWaveScene::GetInstanceLength(const std::string& name, bool rangeOnly) {
  Lock lock(lock_);
  CheckFormat();
  BuffInstance& inst = Find(name);
  const uint64_t frames = rangeOnly ? inst.end - inst.start : inst.wave->Frames();
  return static_cast<uint32_t>(frames * 1000u / inst.wave->Format().samplesPerSec);
}

void TWaveScene::InstanceAddVolumeNodeCh(const std::string& name, int32_t ms, uint8_t endAction,
                                         const std::vector<float>& gains) {
  Lock lock(lock_);
  CheckFormat();
  if (gains.size() != mix_->Format().channels) {
    throw Error("TWaveScene::InstanceAddVolumeNodeCh: Volume parametr has different size");
  }
  BuffInstance& inst = Find(name);
  inst.envelope.AddNode(gains, MsToFrames(inst.wave->Format().samplesPerSec, ms));
  inst.endAction = endAction;
}

void TWaveScene::InstanceAddVolumeNode(const std::string& name, int32_t ms, float gain,
                                       uint8_t endAction) {
  Lock lock(lock_);
  CheckFormat();
  InstanceAddVolumeNodeCh(name, ms, endAction, std::vector<float>(mix_->Format().channels, gain));
}

void TWaveScene::SetInstanceVolumeCh(const std::string& name, int32_t ms, uint8_t endAction,
                                     const std::vector<float>& gains) {
  Lock lock(lock_);
  CheckFormat();
  if (gains.size() != mix_->Format().channels) {
    throw Error("TWaveScene::SetInstanceVolumeCh: Volume parametr has different size");
  }
  BuffInstance& inst = Find(name);
  inst.envelope.Ramp(gains,
                     static_cast<int32_t>(MsToFrames(inst.wave->Format().samplesPerSec, ms)));
  inst.endAction = endAction;
}

void TWaveScene::SetInstanceVolume(const std::string& name, int32_t ms, float gain,
                                   uint8_t endAction) {
  Lock lock(lock_);
  CheckFormat();
  SetInstanceVolumeCh(name, ms, endAction, std::vector<float>(mix_->Format().channels, gain));
}

void TWaveScene::SetInstanceGroup(const std::string& name, uint32_t groupId) {
  Lock lock(lock_);
  Find(name).groupId = groupId;
}

uint32_t TWaveScene::CountInGroup(uint32_t groupId) {
  Lock lock(lock_);
  uint32_t n = 0;
  for (auto& ip : instances_) {
    if (ip->groupId == groupId && !ip->name.empty()) {
      ++n;
    }
  }
  return n;
}

void TWaveScene::ForEachInGroup(uint32_t groupId,
                                const std::function<bool(const std::string&)>& callback) {
  Lock lock(lock_);
  std::vector<std::string> names;
  for (auto& ip : instances_) {
    if (ip->groupId == groupId && !ip->name.empty()) {
      names.push_back(ip->name);
    }
  }
  for (const std::string& name : names) {
    if (!callback(name)) {
      break;
    }
  }
}

uint32_t TWaveScene::CountGroups(uint32_t minimum) {
  Lock lock(lock_);
  if (instances_.empty()) {
    return 0;
  }
  std::unordered_set<uint32_t> counted{instances_.front()->groupId};
  uint32_t previous = instances_.front()->groupId;
  for (size_t i = 1; i < instances_.size(); ++i) {
    const uint32_t id = instances_[i]->groupId;
    if (id >= minimum && id != previous) {
      counted.insert(id);
    }
    previous = id;
  }
  return static_cast<uint32_t>(counted.size());
}

uint32_t TWaveScene::OldestGroup(uint32_t minimum) {
  Lock lock(lock_);
  bool found = false;
  uint32_t oldest = 0;
  for (auto& ip : instances_) {
    if (ip->groupId >= minimum && (!found || ip->groupId < oldest)) {
      oldest = ip->groupId;
      found = true;
    }
  }
  return oldest;
}

void TWaveScene::StopAll() {
  Lock lock(lock_);
  for (auto& ip : instances_) {
    ip->state = 0;
  }
  EraseInstances(
      [](const BuffInstance& inst) { return inst.name.empty() || inst.endAction == kEndRemove; });
}

void TWaveScene::Clear() {
  Lock lock(lock_);
  ClearInstances();
}

size_t TWaveScene::InstanceCount() {
  Lock lock(lock_);
  return instances_.size();
}

std::vector<TWaveScene::InstanceInfo> TWaveScene::Instances() {
  Lock lock(lock_);
  std::vector<InstanceInfo> out;
  for (auto& ip : instances_) {
    out.push_back(InstanceInfo{ip->name, ip->state, ip->loops, ip->position, ip->pitch, ip->groupId,
                               ip->delay, ip->endAction, ip->envelope.IsFinished(),
                               ip->envelope.Current()});
  }
  return out;
}

void TWaveScene::SetVolume(int32_t ms, const std::vector<float>& gains) {
  Lock lock(lock_);
  CheckFormat();
  if (gains.size() != mix_->Format().channels) {
    throw Error("TWaveScene::SetVolume: Volume parametr has different size");
  }
  master_->Ramp(gains, static_cast<int32_t>(MsToFrames(SampleRate(), ms)));
}

std::vector<float> TWaveScene::GetVolume() {
  Lock lock(lock_);
  return master_ ? master_->Current() : std::vector<float>{};
}

void TWaveScene::Mute(bool mute) {
  Lock lock(lock_);
  if (master_) {
    master_->Mute(mute);
  }
}

bool TWaveScene::IsMuted() {
  Lock lock(lock_);
  return master_ && master_->IsMuted();
}
