// The player's post effects: fades that darken and lighten the whole stage step by step, and
// strobe bursts, drawn over the canvas after the sprites and before the style's lights. Owns its
// filters; borrows the canvas (target) and the source of the current frame and of the current
// style's fade and strobe parameters. Called on the frame thread, or on the user-interface thread
// while it holds the frame lock (stage buttons, action replay, style automations).
#pragma once

#include <vector>

#include "effects/filters.h"
#include "framework/interfaces.h"
#include "gfx/canvas.h"

namespace Kesh::Game {

class PostFX : public Vell::IRenderable, public Vell::ITrackable, public Vell::ITriggerable {
 public:
  // What new filters start from: the player's current frame and the current style's parameters.
  class Source {
   public:
    virtual int CurrentFrame() const = 0;
    // depth (darkness per step), then inc (level change per frame) when the style gives it.
    virtual std::vector<float> FadeParams() const = 0;
    // freq (frames between toggles), depth (brightness), sustain (frames).
    virtual std::vector<float> StrobeParams() const = 0;

   protected:
    ~Source() = default;
  };

  static constexpr float kDefaultFadeDepth = 16.0f;
  // The fade rate of a style that gives no "inc".
  static constexpr float kDefaultFadeRate = 2.0f;
  // The end frame of a fade: it runs until it is removed.
  static constexpr int kFadeEnd = 0x0FFFFFFF;
  static constexpr int kMaxLevel = 255;
  // Photosensitivity guidance for video: no more than three flashes in any one second.
  static constexpr int kMaxFlashesPerSecond = 3;

  // The fewest frames between two strobe switch-ons that keeps any one second at no more than
  // kMaxFlashesPerSecond flashes: switch-ons are held to one fewer, which leaves room for the end
  // of a flash begun before that second and for a change of the stage lights.
  static constexpr int SafeFlashInterval(int frameRate) {
    return frameRate / (kMaxFlashesPerSecond - 1) + 1;
  }

  explicit PostFX(const Source* source = nullptr) : source(source) {}
  PostFX(const PostFX&) = delete;
  PostFX& operator=(const PostFX&) = delete;

  // Without a source new filters start at frame 0 with the fallback style's parameters.
  void SetSource(const Source* value) { source = value; }
  // The picture the filters work on; null: Render draws nothing.
  void SetTarget(Vell::Gfx::Canvas* canvas) { target = canvas; }
  Vell::Gfx::Canvas* Target() const { return target; }

  // IRenderable: applies the running filters for this frame to the target.
  void Render(int frame) override;
  // ITrackable: removes a fade that has finished lightening, and a strobe whose end has passed.
  void Track(int frame) override;
  // ITriggerable: Reset removes every filter; fadeLevel and fadeStep keep their values.
  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Reset() override;
  bool Prepare() override { return true; }

  // n steps darker (the first step of a new fade starts it at the style's depth); the level is
  // capped at 255. immediate: the fade jumps to its new level.
  void FadeIn(int n, bool immediate);
  // One step lighter, floored at 0; nothing without a running fade. immediate: the fade jumps to
  // level 0.
  void FadeOut(bool immediate);
  // Starts a strobe burst for the style's sustain; a running strobe is left alone. A style
  // without freq, depth and sustain starts nothing.
  void Strobe();
  // Holds strobe switch-ons at least this many frames apart, across bursts, whatever the style
  // asks; 0 lets the style's strobe run as written.
  void LimitFlashing(int minFramesBetweenFlashes);
  // The show's frames per second. A style counts its fade rate, strobe period and sustain in
  // frames of kStyleFrameRate; new filters take them over in seconds.
  void SetFrameRate(int rate) { frameRate = rate > 0 ? rate : kStyleFrameRate; }
  static constexpr int kStyleFrameRate = 25;
  int FlashLimit() const { return flashInterval; }

  int FadeLevel() const { return fadeLevel; }
  int FadeStep() const { return fadeStep; }
  // The running filters (null when none).
  Vell::Gfx::GDI::Filters::Fade* GetFade() const { return fade; }
  Vell::Gfx::GDI::Filters::Strobe* GetStrobe() const { return strobe; }
  const Vell::Gfx::GDI::Filters::Collector& Filters() const { return filters; }

 private:
  void Remove(Vell::Gfx::GDI::Filters::Filter* filter);
  int CurrentFrame() const { return source != nullptr ? source->CurrentFrame() : 0; }

  Vell::Gfx::GDI::Filters::Collector filters;
  Vell::Gfx::Canvas* target = nullptr;
  const Source* source = nullptr;
  Vell::Gfx::GDI::Filters::Fade* fade = nullptr;      // the filter named "Fade" in filters
  Vell::Gfx::GDI::Filters::Strobe* strobe = nullptr;  // the filter named "Strobe" in filters
  int fadeStep = 0;
  int fadeLevel = 0;
  int flashInterval = 0;  // see LimitFlashing
  int frameRate = kStyleFrameRate;
  // The latest switch-on of a strobe since the last Reset, kept when its burst ends so that the
  // next burst keeps its distance.
  int lastFlash = Vell::Gfx::GDI::Filters::Strobe::kNeverSwitchedOn;
};

}  // namespace Kesh::Game
