// The 2-D sprite scene of the stage. A sprite is a flip-book of images with three keyframe tracks
// (position, place in the sequence, visibility), an optional parent and a depth; the scene keeps
// its sprites sorted by depth, deepest first, advances them to a frame and draws them back to
// front onto the canvas published by the hub.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/collections.h"
#include "framework/interfaces.h"
#include "framework/keyframing.h"
#include "framework/object.h"
#include "framework/singleton.h"
#include "gfx/canvas.h"
#include "gfx/image.h"
#include "gfx/scene.h"

namespace Vell::Gfx::G2D::Sprites {

// A 4 × 4 transform in the row-vector convention: a point p maps to p × M, the translation is the
// fourth row.
struct Matrix4 {
  std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  static Matrix4 Translation(const Math::Vector3& t) {
    Matrix4 r;
    r.m[12] = t.x;
    r.m[13] = t.y;
    r.m[14] = t.z;
    return r;
  }
  float At(int row, int column) const { return m[row * 4 + column]; }
  // This × other.
  Matrix4 operator*(const Matrix4& other) const;
  // (p, 1) × this, without the perspective divide.
  Math::Vector3 Transform(const Math::Vector3& p) const;
};

// Publishes the current canvas to the sprites, and the render scale images are read for (set by
// the game while no show is loaded; sprites take it when they are made).
class Hub : public Singleton<Hub> {
 public:
  Canvas* canvas = nullptr;
  int imageScale = 1;

 private:
  friend class Singleton<Hub>;
  Hub() = default;
};

class Sprite : public Object,
               public ITrackable,
               public IRenderable,
               public ITriggerable,
               public ILoadableXml {
 public:
  using PositionTrack = Keyframing::Runtime::Vector<Math::Vector3>;
  using StepTrack = Keyframing::Runtime::Vector<float>;
  using VisibilityTrack = Keyframing::Runtime::VectorD<unsigned char>;

  // hold: how many sequence steps each loaded image of a numbered sequence stands for (1 = every
  // image; values below 1 count as 1). Image files are read for the hub's image scale of now.
  explicit Sprite(const std::string& name = "", int hold = 1);
  Sprite(const Sprite&) = delete;
  Sprite& operator=(const Sprite&) = delete;
  ~Sprite() override;

  // ILoadableXml: sprites are read from elements only.
  [[nodiscard]] bool Load(const char* path) override { return false; }
  // Reads "name", "image" or "images" with "first"/"last", "easeIn", "easeOut", "pingPong" and
  // "z-order"; image files are read relative to the current directory. false only for null.
  [[nodiscard]] bool LoadXml(Data::Xml::Node* node) override;

  // The numbered sequence prefix + number + ".png", numbers padded to the digit count of the
  // larger of first and last, at least two digits. Each read image stands hold times.
  void LoadSequence(const std::string& prefix, int first, int last);
  // One image file, appended once.
  void LoadSingle(const std::string& path);
  // Appends an image taken over by the sprite, standing times entries.
  void AddImage(std::unique_ptr<Image> image, int times = 1);
  // Rows at the bottom of the first image without a pixel of alpha above 64, in stage units (image
  // rows divided by the image's scale, rounded down).
  void ScanBaseline();

  // ITrackable
  void Track(int frame) override;
  // IRenderable: draws the current image centred on the world position onto the hub's canvas. The
  // image's size in stage units is its size divided by its scale; the corner is placed in whole
  // stage units, then multiplied by the canvas's scale.
  void Render(int frame) override;
  void RenderTo(Canvas& canvas);
  // ITriggerable: Reset restarts the free walk at startStep on the next Track.
  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Reset() override;
  bool Prepare() override { return true; }

  // The bytes the images a sprite element names (as LoadXml reads it, each image standing hold
  // steps) take once decoded at the hub's image scale, from the files' headers; files that cannot
  // be read count nothing. Image files are found relative to the current directory.
  static uint64_t DecodedBytes(Data::Xml::Node* node, int hold);

  // The name of the image file a numbered sequence entry comes from.
  static std::string SequenceFileName(const std::string& prefix, int number, int width);
  static int SequenceDigits(int first, int last);

  // Clears the keys of all three tracks.
  void ClearKeys();
  // Gives the visibility track its keys and puts it in use (an empty list takes it out of use).
  void SetVisibilityKeys(const std::vector<Keyframing::Runtime::KeyD<unsigned char>>& keys);

  int Count() const { return static_cast<int>(images.size()); }
  // The sequence with every image read (images of a numbered sequence are otherwise read when
  // first shown, or by ReadAhead).
  const std::vector<Image*>& Images() const;
  // Reads up to budget images not read yet, in sequence order; returns what is left of budget
  // (0 when images may remain unread).
  int ReadAhead(int budget);
  // How many distinct images are not read yet.
  int Unread() const;
  const Image* Current() const { return current; }
  int CurrentIndex() const { return currentIndex; }

  float easeIn = 0;
  float easeOut = 0;
  bool visible = true;
  bool fixedSize = false;
  bool pingPong = false;
  bool reverse = false;
  int baseline = 0;
  int hold = 1;
  int scale = 1;  // the render scale the sprite's image files are read for
  Sprite* parent = nullptr;
  int width = 0;
  int height = 0;
  float depth = 0;
  Matrix4 world;
  Math::Vector3 corner1;
  Math::Vector3 corner2;
  int lastTime = 0;
  int startStep = 0;
  float step = -1;
  // Images a sprite without a step track moves on per frame of its scene: its flip-book plays at
  // Scene::kImageRate images a second whatever the scene's frame rate.
  float imagesPerFrame = 1.0f;
  PositionTrack positionTrack;
  StepTrack stepTrack;
  VisibilityTrack visibilityTrack;
  bool visibilityInUse = false;

 private:
  // Reads owned image index from its file, once; a file that cannot be read leaves the image
  // empty and is reported with the reason.
  void Read(size_t index) const;

  std::vector<Image*> images;                 // the sequence, an image repeated while it holds
  std::vector<size_t> sources;                // for each step, the index of its image in owned
  std::vector<std::unique_ptr<Image>> owned;  // each distinct image once
  mutable std::vector<std::string> unread;    // for each owned image, its file until it is read
  size_t readAhead = 0;                       // owned images before this one were all read
  Image* current = nullptr;
  int currentIndex = -1;
};

// The scene's sprite list: Add keeps it sorted by depth, larger depth first; equal depths keep
// their insertion order. It does not own its sprites.
class Sprites_t : public Collections::List {
 public:
  // Sprites only: anything else (and null) gives -1 and leaves the list unchanged.
  int Add(Object* element) override;
  // Keeps the depth order too.
  void AddFirst(Object* element) override { Add(element); }
};

class Scene : public Vell::Scene {
 public:
  // Images a second of a flip-book, whatever the scene's frame rate.
  static constexpr int kImageRate = 25;
  explicit Scene(std::string name = "");

  void Track(int frame) override;
  // Draws the background (stretched), then every sprite, deepest first, onto the hub's canvas.
  void Render(int target) override;
  void RenderTo(Canvas& canvas);
  bool Reset() override;

  Sprites_t sprites;
  const Image* background = nullptr;
};

}  // namespace Vell::Gfx::G2D::Sprites
