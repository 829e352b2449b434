// The whole show: a generated song is analysed, its instruments get artists from the fixture
// band, their animations are prepared, built and merged as the player does, and the sprite
// scene is tracked and rendered frame by frame into the stage canvas.
#include <algorithm>

#include <gtest/gtest.h>

#include "animation/animation_track.h"
#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/settings.h"
#include "data/analysis.h"
#include "fixture.h"
#include "gfx/sprites.h"
#include "platform/platform.h"

namespace {

using Kesh::Artists::Artist;
using Kesh::Artists::Layout;
using Kesh::Artists::Manager;
using Kesh::Audio::MidiEvent;
using Kesh::Audio::SongData;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Tracks::Animation;
using Vell::Gfx::Canvas;
using Vell::Gfx::G2D::Sprites::Hub;
using Vell::Gfx::G2D::Sprites::Scene;
namespace Sets = Kesh::Artists::Animation;

constexpr int kFrameRate = 25;
constexpr uint32_t kBar = 1920;  // ticks of a 4/4 bar at 480 per quarter

void Add(SongData& song, size_t track, uint32_t tick, uint8_t status, uint8_t data1) {
  auto& events = song.tracks[track].events;
  auto at = std::upper_bound(events.begin(), events.end(), tick,
                             [](uint32_t t, const MidiEvent& e) { return t < e.tick; });
  events.insert(at, MidiEvent{tick, status, data1, 100});
}

void Note(SongData& song, size_t track, int channel, uint32_t on, uint32_t length, uint8_t note) {
  Add(song, track, on, static_cast<uint8_t>(0x90 | channel), note);
  Add(song, track, on + length, static_cast<uint8_t>(0x80 | channel), note);
}

// Fourteen bars of 4/4 at 120 (2 s each): a piano plays bars 2-10, a bass bars 3-10, drums bars
// 2-10 with a snare-led groove and a tom fill in bars 6-7; bars 11-13 are silent.
SongData MakeSong() {
  SongData song;
  song.division = 480;
  song.tempoChanges = {{0, 500000}};
  song.timeSignatures = {{0, 4, 2}};
  song.tracks.resize(3);
  Add(song, 0, 0, 0xC0, 0);   // piano on channel 0
  Add(song, 1, 0, 0xC1, 33);  // finger bass on channel 1
  for (uint32_t bar = 2; bar <= 10; ++bar) {
    for (uint32_t beat = 0; beat < 4; ++beat) {
      const uint32_t tick = bar * kBar + beat * 480;
      Note(song, 0, 0, tick, 470, static_cast<uint8_t>(64 + beat));
      Note(song, 0, 0, tick, 470, static_cast<uint8_t>(72 + beat));
      if (bar >= 3) {
        Note(song, 1, 1, tick, 470, static_cast<uint8_t>(36 + beat));
      }
    }
    for (uint32_t eighth = 0; eighth < 8; ++eighth) {
      const uint32_t tick = bar * kBar + eighth * 240;
      const bool fill = bar == 6 || bar == 7;
      Note(song, 2, 9, tick, 60, fill ? 45 : 38);  // low tom or snare
    }
    Note(song, 2, 9, bar * kBar, 60, 36);
    Note(song, 2, 9, bar * kBar + 960, 60, 36);
  }
  Add(song, 2, 14 * kBar, 0xB9, 7);  // the song ends with bar 13
  return song;
}

struct Player {
  std::vector<std::unique_ptr<Animation>> animations;  // melodic first, the drummer last
  std::vector<std::unique_ptr<Animation>> drumKit;
  uint64_t offset = 0;
};

// What the player does when it prepares a song, without its ranking and limits.
void Prepare(const Analysis& analysis, Player& player) {
  uint64_t largest = 0;
  for (Kesh::Data::Tracks::Event* track : analysis.GetTracks()) {
    const int patch = track->GetPatch();
    if (patch < 0 || (patch > 127 && (patch < 200 || patch > 203))) {
      continue;
    }
    std::unique_ptr<Animation> animation;
    try {
      animation = std::make_unique<Animation>(track, analysis.GetBarTrack(), kFrameRate);
    } catch (const Kesh::Data::Tracks::PatchNotFoundException&) {
      continue;
    }
    uint64_t lateness = 0;
    if (!animation->Prepare(lateness)) {
      continue;
    }
    largest = std::max(largest, lateness);
    (patch >= 200 ? player.drumKit : player.animations).push_back(std::move(animation));
  }
  player.offset = largest;
  for (auto& animation : player.animations) {
    ASSERT_TRUE(animation->Build(player.offset));
  }
  std::vector<Animation*> kit;
  for (auto& drums : player.drumKit) {
    ASSERT_TRUE(drums->Build(player.offset));
    kit.push_back(drums.get());
  }
  if (!kit.empty()) {
    player.animations.emplace_back(Animation::MergeDrums(kit));
  }
}

// One frame as the player tracks and renders it.
void Frame(Player& player, Scene& scene, Canvas& canvas, int frame, bool first) {
  const uint64_t t = static_cast<uint64_t>(frame) * 1000 / kFrameRate;
  scene.sprites.Clear();
  for (auto& animation : player.animations) {
    if (Sets::Set* set = animation->CurrentSet(t)) {
      scene.sprites.Add(set->GetSprite());
    }
    auto* body = animation->GetArtist()->sprites.GetEnumerator();
    while (body->MoveNext()) {
      scene.sprites.Add(body->Current());
    }
  }
  if (first) {
    scene.Reset();
  }
  scene.Track(frame);
  canvas.Clear();
  scene.Render(frame);
}

// Which artist and set kind a pixel shows (0, 0 for anything else).
std::pair<int, int> Decode(uint32_t pixel) {
  if (Vell::Gfx::AlphaOf(pixel) != 255 || Vell::Gfx::RedOf(pixel) % 40 != 0 ||
      Vell::Gfx::GreenOf(pixel) % 18 != 0 || Vell::Gfx::GreenOf(pixel) == 0) {
    return {0, 0};
  }
  return {static_cast<int>(Vell::Gfx::RedOf(pixel) / 40),
          static_cast<int>(Vell::Gfx::GreenOf(pixel) / 18)};
}

// The set sprite of an artist drawn at x (stage position) on its row: the pixel two rows below
// the centre of the 8 × 10 image.
uint32_t Probe(const Canvas& canvas, float x, float y) {
  const int left = static_cast<int>(x - Fixture::kSpriteWidth / 2.0f);
  const int top = static_cast<int>(y - Fixture::kSpriteHeight / 2.0f);
  const int px = left + Fixture::kSpriteWidth / 2;
  const int py = top + Fixture::kSpriteHeight / 2 + 2;
  if (px < 0 || px >= canvas.Width() || py < 0 || py >= canvas.Height()) {
    return 0;
  }
  return canvas.Pixel(px, py);
}

int IdOf(const Artist* artist) {
  static const std::map<std::string, int> ids{
      {"Pianist", 1}, {"Keys", 2}, {"Bassist", 3}, {"Drummer", 4}};
  return ids.at(artist->GetName());
}

TEST(AnimationShow, EveryArtistWalksInPlaysAndWalksOff) {
  Fixture::Program program;
  Fixture::WriteBand(program);
  Vell::Platform::ScopedDirectory root(program.Root());
  Manager::Destroy();
  Sets::Manager::Destroy();
  Layout::Instance()->Clear();
  Kesh::Data::Tracks::SeedDepartures(3);

  SongData song = MakeSong();
  Analysis analysis(&song, TAVRO_SOURCE_DIR "/data/config/analysis.xml");
  ASSERT_TRUE(analysis.Run()) << analysis.Error();
  Player player;
  Prepare(analysis, player);
  ASSERT_EQ(player.animations.size(), 3u) << "piano, bass and the merged drummer";
  EXPECT_GE(player.drumKit.size(), 2u) << "the snare and tom groups lead bars";

  Canvas canvas(815, 400);
  Hub::Instance()->canvas = &canvas;
  Scene scene("Main");

  const int songFrames = static_cast<int>((player.offset + 14 * 2000) * kFrameRate / 1000);
  const int lastFrame = songFrames + 10 * kFrameRate;
  for (auto& animation : player.animations) {
    const Artist* artist = animation->GetArtist();
    SCOPED_TRACE(artist->GetName());
    const int id = IdOf(artist);
    // Walk in: half way through the keyed walk, the walking set is drawn where its position
    // track puts it, between the wings and the artist's place.
    const auto& timeline = animation->GetTimeline();
    ASSERT_GE(timeline.size(), 5u);
    Sets::Set* walkIn = timeline.begin()->second;
    const auto& walkKeys = walkIn->GetSprite()->positionTrack.Keys();
    const int walkStart = walkKeys.begin()->first;
    const int walkEnd = std::next(walkKeys.begin())->first;
    ASSERT_LT(walkStart + 1, walkEnd);
    const int middle = (walkStart + walkEnd) / 2;
    // Play: the middle of the first bar after the arrival, and the whole last played bar.
    auto play = std::next(timeline.begin(), 2);
    const int playFrame = static_cast<int>((play->first + 1000) * kFrameRate / 1000);
    // Walk off: the last entry is the walk off stage.
    const auto& offKeys = timeline.rbegin()->second->GetSprite()->positionTrack.Keys();
    const int offStart = std::prev(offKeys.end(), 2)->first;
    const int offEnd = offKeys.rbegin()->first;
    const int leaving = (offStart + offEnd) / 2;
    ASSERT_LT(offEnd, lastFrame);
    for (auto [frame, what] : std::vector<std::pair<int, std::string>>{{middle, "walking in"},
                                                                       {playFrame, "playing"},
                                                                       {leaving, "walking off"},
                                                                       {offEnd + 5, "gone"}}) {
      SCOPED_TRACE(what);
      Frame(player, scene, canvas, std::max(frame - 30, 0), true);  // a run of frames before
      for (int f = std::max(frame - 29, 1); f <= frame; ++f) {
        Frame(player, scene, canvas, f, false);
      }
      const uint64_t t = static_cast<uint64_t>(frame) * 1000 / kFrameRate;
      Sets::Set* set = animation->CurrentSet(t);
      ASSERT_NE(set, nullptr);
      const auto position = set->GetSprite()->positionTrack.Evaluate(frame);
      const auto [shownId, shownKind] = Decode(Probe(canvas, position.x, position.y));
      if (what == "gone") {
        EXPECT_TRUE(position.x <= -64.0f || position.x >= 879.0f);
        for (int x = 0; x < canvas.Width(); ++x) {
          for (int dy = -5; dy < 5; ++dy) {
            EXPECT_NE(Decode(canvas.Pixel(x, static_cast<int>(artist->y) + dy)).first, id)
                << "artist still drawn at x " << x;
          }
        }
        continue;
      }
      EXPECT_EQ(shownId, id);
      EXPECT_EQ(shownKind, set->GetKind());
      if (what == "walking in") {
        EXPECT_TRUE(set->GetKind() == Sets::kSLR || set->GetKind() == Sets::kSRL);
        EXPECT_GT(std::fabs(position.x - artist->x), 32.0f);
        EXPECT_FLOAT_EQ(position.y, artist->y);
      } else if (what == "playing") {
        EXPECT_TRUE(set->GetKind() == Sets::kCSA || set->GetKind() == Sets::kCSB ||
                    set->GetKind() == Sets::kCRA || set->GetKind() == Sets::kCRB)
            << set->GetKind();
        EXPECT_FLOAT_EQ(position.x, artist->x);
        // The step keys move the sequence: over one bar the playing set shows several images.
        std::set<int> images;
        for (int f = frame; f < frame + 50; ++f) {
          Frame(player, scene, canvas, f, false);
          images.insert(set->GetSprite()->CurrentIndex());
        }
        EXPECT_GE(images.size(), 3u);
      } else {
        EXPECT_TRUE(set->GetKind() == Sets::kSLR || set->GetKind() == Sets::kSRL);
        EXPECT_TRUE(position.x < artist->x || position.x > artist->x);
      }
      // The body sprite stands at the artist's place all the time.
      const uint32_t body =
          canvas.Pixel(static_cast<int>(artist->x - 6), static_cast<int>(artist->y - 6));
      EXPECT_EQ(body, Fixture::BodyColour(id));
    }
  }
  Hub::Instance()->canvas = nullptr;
  player.animations.clear();
  player.drumKit.clear();
  Manager::Destroy();
  Layout::Instance()->Clear();
}

}  // namespace
