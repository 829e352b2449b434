#include "gfx/sprites.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "framework/diagnostics.h"
#include "framework/xml.h"
#include "gfx/scaled_png.h"

namespace Vell::Gfx::G2D::Sprites {

namespace {

// A numbered sequence longer than this is refused: a damaged artist file must not make the loader
// read millions of file names.
constexpr int64_t kMaxSequenceEntries = 10000;

int DecimalDigits(int value) {
  int64_t v = value < 0 ? -static_cast<int64_t>(value) : value;
  int digits = 1;
  while (v >= 10) {
    v /= 10;
    ++digits;
  }
  return digits;
}

// Reads one image of the sprite; a file that cannot be read leaves an empty image in the sequence
// and is reported with the reason.
std::unique_ptr<Image> ReadImage(const std::string& path, int scale) {
  auto image = std::make_unique<Image>();
  std::string why;
  if (!LoadPngAtScale(*image, path, scale, &why)) {
    Diagnostics::Report("Sprite image not read: " + why);
  }
  return image;
}

}  // namespace

Matrix4 Matrix4::operator*(const Matrix4& other) const {
  Matrix4 r;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) {
        sum += At(row, k) * other.At(k, column);
      }
      r.m[row * 4 + column] = sum;
    }
  }
  return r;
}

Math::Vector3 Matrix4::Transform(const Math::Vector3& p) const {
  return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
          p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
          p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

Sprite::Sprite(const std::string& name, int hold)
    : Object(name), hold(hold < 1 ? 1 : hold), scale(Hub::Instance()->imageScale) {}

Sprite::~Sprite() = default;

int Sprite::SequenceDigits(int first, int last) {
  const int width = std::max(DecimalDigits(first), DecimalDigits(last));
  return width == 1 ? 2 : width;
}

std::string Sprite::SequenceFileName(const std::string& prefix, int number, int width) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*d", width, number);
  return prefix + digits + ".png";
}

void Sprite::AddImage(std::unique_ptr<Image> image, int times) {
  if (!image) {
    return;
  }
  unread.emplace_back();
  for (int i = 0; i < times; ++i) {
    images.push_back(image.get());
    sources.push_back(owned.size());
  }
  owned.push_back(std::move(image));
}

void Sprite::LoadSingle(const std::string& path) { AddImage(ReadImage(path, scale), 1); }

void Sprite::LoadSequence(const std::string& prefix, int first, int last) {
  if (static_cast<int64_t>(last) - first >= kMaxSequenceEntries) {
    return;
  }
  const int width = SequenceDigits(first, last);
  const size_t start = images.size();
  // Decoding the images is most of the time of opening a song, and a show shows many of them only
  // later or never: each file is read when its image is first shown. Names are kept whole, since
  // the current directory changes.
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  int64_t a = first;
  while (a <= last) {
    const std::filesystem::path file = SequenceFileName(prefix, static_cast<int>(a), width);
    owned.push_back(std::make_unique<Image>());
    unread.push_back(file.is_absolute() || error ? file.string() : (folder / file).string());
    // The image stands for hold steps; files inside its span are not read.
    for (int i = 0; i < hold && a <= last; ++i, ++a) {
      images.push_back(owned.back().get());
      sources.push_back(owned.size() - 1);
    }
  }
  // The first image now: it gives the baseline and the first frame.
  if (start < images.size()) {
    Read(sources[start]);
  }
}

void Sprite::Read(size_t index) const {
  if (unread[index].empty()) {
    return;
  }
  const std::string path = std::move(unread[index]);
  unread[index].clear();
  std::string why;
  if (!LoadPngAtScale(*owned[index], path, scale, &why)) {
    Diagnostics::Report("Sprite image not read: " + why);
  }
}

int Sprite::ReadAhead(int budget) {
  for (; readAhead < owned.size() && budget > 0; ++readAhead) {
    if (!unread[readAhead].empty()) {
      Read(readAhead);
      --budget;
    }
  }
  return budget;
}

int Sprite::Unread() const {
  return static_cast<int>(std::count_if(unread.begin(), unread.end(),
                                        [](const std::string& file) { return !file.empty(); }));
}

const std::vector<Image*>& Sprite::Images() const {
  for (size_t i = 0; i < owned.size(); ++i) {
    Read(i);
  }
  return images;
}

void Sprite::ScanBaseline() {
  if (images.empty() || images.front()->Empty()) {
    return;
  }
  const Image& first = *images.front();
  for (int row = first.Height() - 1; row >= 0; --row) {
    const uint32_t* pixels = first.Row(row);
    for (int x = 0; x < first.Width(); ++x) {
      if ((pixels[x] >> 24) > 64) {
        baseline = ((first.Height() - 1) - row) / first.Scale();
        return;
      }
    }
  }
}

uint64_t Sprite::DecodedBytes(Data::Xml::Node* node, int hold) {
  if (node == nullptr) {
    return 0;
  }
  std::string file;
  const int scale = Hub::Instance()->imageScale;
  if (node->ReadString("image", file)) {
    return DecodedPngBytesAtScale(file, scale);
  }
  if (!node->ReadString("images", file)) {
    return 0;
  }
  int first = 0;
  int last = 0;
  node->ReadInt("first", first);
  node->ReadInt("last", last);
  if (static_cast<int64_t>(last) - first >= kMaxSequenceEntries) {
    return 0;  // LoadSequence refuses it
  }
  // The files LoadSequence reads: the first of every hold steps.
  const int width = SequenceDigits(first, last);
  const int64_t step = hold < 1 ? 1 : hold;
  uint64_t bytes = 0;
  for (int64_t a = first; a <= last; a += step) {
    bytes += DecodedPngBytesAtScale(SequenceFileName(file, static_cast<int>(a), width), scale);
  }
  return bytes;
}

bool Sprite::LoadXml(Data::Xml::Node* node) {
  if (node == nullptr) {
    return false;
  }
  std::string text;
  if (node->ReadString("name", text)) {
    name = text;
  }
  node->ReadFloat("easeIn", easeIn);
  node->ReadFloat("easeOut", easeOut);
  node->ReadBool("pingPong", pingPong);
  int zOrder = 0;
  if (node->ReadInt("z-order", zOrder)) {
    depth = static_cast<float>(zOrder);
  }
  std::string file;
  if (node->ReadString("image", file)) {
    LoadSingle(file);
  } else if (node->ReadString("images", file)) {
    int first = 0;
    int last = 0;
    node->ReadInt("first", first);
    node->ReadInt("last", last);
    LoadSequence(file, first, last);
  }
  ScanBaseline();
  return true;
}

void Sprite::ClearKeys() {
  positionTrack.ClearKeys();
  stepTrack.ClearKeys();
  visibilityTrack.ClearKeys();
  visibilityInUse = false;
}

void Sprite::SetVisibilityKeys(const std::vector<Keyframing::Runtime::KeyD<unsigned char>>& keys) {
  visibilityTrack.ClearKeys();
  visibilityTrack.SetKeys(keys);
  visibilityInUse = !keys.empty();
}

bool Sprite::Reset() {
  lastTime = 0;
  step = -1;
  return true;
}

void Sprite::Track(int frame) {
  const int count = static_cast<int>(images.size());
  if (count > 0) {
    if (!stepTrack.Keys().empty()) {
      stepTrack.Update(frame);
      step = stepTrack.Value() * static_cast<float>(count - 1);
      if (step <= 0) {
        step = 0;
      } else if (step >= static_cast<float>(count - 1)) {
        step = static_cast<float>(count - 1);
      }
    } else {
      float elapsed = static_cast<float>(frame - lastTime) * imagesPerFrame;
      if (step < 0 || elapsed > static_cast<float>(count)) {
        step = static_cast<float>(startStep);
        elapsed = 0;
      }
      if (!pingPong) {
        step += elapsed;
        if (step >= static_cast<float>(count)) {
          step = 0;
        }
      } else if (!reverse) {
        step += elapsed;
        if (step >= static_cast<float>(count - 1)) {
          step = static_cast<float>(count - 1);
          reverse = true;
        }
      } else {
        step -= elapsed;
        if (step <= 0) {
          reverse = false;
        }
      }
    }
    if (visible) {
      int index;
      if (count >= 2) {
        const float last = static_cast<float>(count - 1);
        const float eased = Keyframing::Ease::Compute(step / last, easeOut, easeIn);
        const float scaled = eased * last + 0.5f;
        // Clamp before converting: a runaway value must not overflow the conversion.
        index = scaled <= 0 ? 0 : scaled >= last ? count - 1 : static_cast<int>(scaled);
      } else {
        index = 0;
      }
      currentIndex = index;
      Read(sources[index]);
      current = images[index];
    }
  }
  visibilityTrack.Update(frame);
  if (visibilityInUse) {
    visible = visibilityTrack.Value() != 0;
  }
  positionTrack.Update(frame);
  world = Matrix4::Translation(positionTrack.Value());
  if (parent != nullptr && parent != this) {
    parent->Track(frame);
    world = parent->world * world;
  }
  lastTime = frame;
}

void Sprite::RenderTo(Canvas& canvas) {
  if (!visible || images.empty() || current == nullptr || current->Empty()) {
    return;
  }
  const int w = fixedSize ? width : current->Width() / current->Scale();
  const int h = fixedSize ? height : current->Height() / current->Scale();
  corner1 = world.Transform({-static_cast<float>(w) / 2, -static_cast<float>(h) / 2, 0});
  corner2 = world.Transform({static_cast<float>(w) / 2, static_cast<float>(h) / 2, 0});
  // Positions far outside any canvas are not drawn (and must not overflow the conversion).
  if (!(std::fabs(corner1.x) < 1e8f && std::fabs(corner1.y) < 1e8f)) {
    return;
  }
  canvas.DrawStageImage(*current, static_cast<int>(corner1.x), static_cast<int>(corner1.y), w, h);
}

void Sprite::Render(int frame) {
  Canvas* canvas = Hub::Instance()->canvas;
  if (canvas != nullptr) {
    RenderTo(*canvas);
  }
}

int Sprites_t::Add(Object* element) {
  auto* sprite = dynamic_cast<Sprite*>(element);
  if (sprite == nullptr) {
    return -1;
  }
  auto& list = Elements();
  int index = 0;
  for (auto it = list.begin(); it != list.end(); ++it, ++index) {
    auto* other = static_cast<Sprite*>(*it);
    if (other->depth < sprite->depth) {
      InsertBefore(it, sprite);
      return index;
    }
  }
  InsertBefore(list.end(), sprite);
  return index;
}

Scene::Scene(std::string name) : Vell::Scene(std::move(name), 25) {}

void Scene::Track(int frame) {
  position = frame;
  const float imagesPerFrame =
      GetFrameRate() > 0 ? static_cast<float>(kImageRate) / static_cast<float>(GetFrameRate())
                         : 1.0f;
  auto* walk = sprites.GetEnumerator();
  while (walk->MoveNext()) {
    auto* sprite = static_cast<Sprite*>(walk->Current());
    sprite->imagesPerFrame = imagesPerFrame;
    sprite->Track(frame);
  }
}

void Scene::RenderTo(Canvas& canvas) {
  canvas.DrawBackground(background);
  auto* walk = sprites.GetEnumerator();
  while (walk->MoveNext()) {
    static_cast<Sprite*>(walk->Current())->RenderTo(canvas);
  }
}

void Scene::Render(int target) {
  Canvas* canvas = Hub::Instance()->canvas;
  if (canvas != nullptr) {
    RenderTo(*canvas);
  }
}

bool Scene::Reset() {
  auto* walk = sprites.GetEnumerator();
  while (walk->MoveNext()) {
    static_cast<Sprite*>(walk->Current())->Reset();
  }
  return true;
}

}  // namespace Vell::Gfx::G2D::Sprites
