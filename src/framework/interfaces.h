// The pure interfaces through which scenes, sprites, filters, styles and automations are driven.
#pragma once

#include <cstdint>

namespace Vell {

namespace Data {
class File;
namespace Xml {
class Node;
}
}  // namespace Data

// Advances to a frame of the show's clock (frames of the sprite scene).
class ITrackable {
 public:
  virtual void Track(int frame) = 0;

 protected:
  ~ITrackable() = default;
};

// Transport control of a timed object. Reset returns it to its initial, not-yet-fired state;
// Prepare computes what it needs before playback.
class ITriggerable {
 public:
  virtual bool Start() = 0;
  virtual bool Stop() = 0;
  virtual bool Reset() = 0;
  virtual bool Prepare() = 0;

 protected:
  ~ITriggerable() = default;
};

class IRenderable {
 public:
  virtual void BeforeRender() {}
  virtual void Render(int frame) = 0;

 protected:
  ~IRenderable() = default;
};

class ILoadableXml {
 public:
  [[nodiscard]] virtual bool Load(const char* path) = 0;
  [[nodiscard]] virtual bool LoadXml(Data::Xml::Node* node) = 0;

 protected:
  ~ILoadableXml() = default;
};

class ISaveableXml {
 public:
  [[nodiscard]] virtual bool Save(const char* path) = 0;
  [[nodiscard]] virtual bool SaveXml(Data::Xml::Node* node) = 0;

 protected:
  ~ISaveableXml() = default;
};

class ILoadable {
 public:
  [[nodiscard]] virtual bool Load(const char* path) = 0;

 protected:
  ~ILoadable() = default;
};

class ISaveable {
 public:
  [[nodiscard]] virtual bool Save(const char* path) = 0;

 protected:
  ~ISaveable() = default;
};

// Objects that write themselves to and read themselves from a byte stream.
class ISerializable {
 public:
  [[nodiscard]] virtual bool Save(Data::File& stream) = 0;
  [[nodiscard]] virtual bool Load(Data::File& stream) = 0;

 protected:
  ~ISerializable() = default;
};

struct SceneInfo;

// A timed scene with start, end and frame rate. Setter units: 1 frames, 2 milliseconds.
class IScene {
 public:
  virtual void BeforeScene() {}
  virtual void Render(int target) = 0;
  virtual int64_t GetPosition() const = 0;
  virtual void SetStart(int64_t value, int unit) = 0;
  virtual int64_t GetStart() const = 0;
  virtual void SetEnd(int64_t value, int unit) = 0;
  virtual int64_t GetEnd() const = 0;
  virtual int64_t GetLength() const = 0;
  virtual void SetFrameRate(int rate) = 0;
  virtual int GetFrameRate() const = 0;
  virtual int64_t GetSpare() const = 0;

 protected:
  ~IScene() = default;
};

}  // namespace Vell
