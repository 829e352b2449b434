// What the styles see of the show being played. The game implements IShow and hands it, with the
// player module's crowd sub-interface, to the styles manager; the styles never reach into the game.
// Called on the thread that prepares a song (the user-interface thread) and on the frame thread
// under the frame lock. Owns nothing.
#pragma once

#include <vector>

namespace Vell::Gfx::G2D::Sprites {
class Scene;
class Sprite;
}  // namespace Vell::Gfx::G2D::Sprites

namespace Kesh::Game {
class PostFX;
}

namespace Kesh::Styles {

// The kinds of animation sets the automations look at.
enum SetKind {
  kArriveFromLeft = 3,   // LTA
  kArriveFromRight = 4,  // RTA
  kLeaveToLeft = 5,      // ATL
  kLeaveToRight = 6,     // ATR
  kPlayFirst = 7,        // CSA
  kPlaySecond = 8,       // CRA
  kRest = 9,             // CFA
};

class IShow {
 public:
  // The General MIDI patch of every instrument track of the current song, in the player's order.
  virtual std::vector<int> InstrumentPatches() const = 0;
  // How many performers (animation tracks) the show has.
  virtual int PerformerCount() const = 0;
  // The sprite of the performer's animation set of that kind (its position track's keys are the
  // set's times), or null when the performer has no such set. performer: 0 ... count - 1 in the
  // player's order.
  virtual const Vell::Gfx::G2D::Sprites::Sprite* SetSprite(int performer, int kind) const = 0;
  // The song's length in milliseconds.
  virtual int SongLengthMs() const = 0;
  // Frames per second of the player's scene.
  virtual int FrameRate() const = 0;
  // The player's sprite scene, whose sprites the search lights follow; may be null.
  virtual Vell::Gfx::G2D::Sprites::Scene* SpriteScene() = 0;
  // The player's post effects, driven by the fade and light automations; may be null.
  virtual Game::PostFX* Effects() = 0;
  // The game's switches: whether fades, lights and crowd sounds follow the style.
  virtual bool AutoFades() const = 0;
  virtual bool AutoLights() const = 0;
  virtual bool AutoCrowd() const = 0;

 protected:
  ~IShow() = default;
};

}  // namespace Kesh::Styles
