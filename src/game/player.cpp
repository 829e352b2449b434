#include "game/player.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "app/log.h"
#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/sets.h"
#include "artists/settings.h"
#include "framework/diagnostics.h"
#include "framework/file.h"
#include "game/game.h"
#include "game/project.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace Kesh::Game {

namespace {
bool IsDrumGroup(int patch) { return patch >= 200 && patch <= 203; }
// The stage's centre: shadows fall away from it.
constexpr double kStageCentreX = 407.5;
// A style's stage lights: the three bottom ones (left, centre, right), then the three top ones.
constexpr int kTopLightOffset = 3;
}  // namespace

Player::Player(Game& game, Vell::Gfx::Canvas& canvas) : game(game), canvas(canvas), scene("Main") {
  activeSets.reserve(32);
  scene.SetFrameRate(Game::kFrameRate);
}

Player::~Player() {
  Reset();
  if (styles != nullptr) {
    styles->SetShow(nullptr);
    styles->SetCrowd(nullptr);
  }
}

Styles::Manager* Player::StyleManager() {
  if (!stylesTried) {
    stylesTried = true;
    try {
      styles = Styles::Manager::Instance();
    } catch (const Vell::Exception& error) {
      Log("The styles in ./styles/ could not be loaded (%s): the show runs without a style",
          error.Describe().c_str());
      styles = nullptr;
    }
    if (styles != nullptr) {
      styles->SetShow(this);
      Audio::IPlayer* module = game.Module();
      styles->SetCrowd(module != nullptr ? module->GetCrowd() : nullptr);
    }
  }
  return styles;
}

Styles::Style* Player::CurrentStyle() {
  Styles::Manager* manager = StyleManager();
  return manager != nullptr ? manager->GetCurrent() : nullptr;
}

void Player::ChooseStyle() {
  Styles::Manager* manager = StyleManager();
  if (manager == nullptr) {
    return;
  }
  if (game.GetProfile().autoStyle) {
    manager->SelectAuto();
  } else if (manager->GetCurrent() == nullptr || manager->GetCurrent()->GetId() == -1) {
    manager->SelectById(0);
  }
}

std::vector<int> Player::InstrumentPatches() const {
  std::vector<int> patches;
  if (analysis) {
    for (const Data::Tracks::Event* track : analysis->GetTracks()) {
      if (track->GetPatch() >= 0 && track->GetPatch() <= 127) {
        patches.push_back(track->GetPatch());
      }
    }
  }
  return patches;
}

const Vell::Gfx::G2D::Sprites::Sprite* Player::SetSprite(int performer, int kind) const {
  if (performer < 0 || performer >= static_cast<int>(animations.size())) {
    return nullptr;
  }
  const Artists::Artist* artist = animations[static_cast<size_t>(performer)]->GetArtist();
  const Artists::Animation::Set* set = artist != nullptr ? artist->GetSet(kind) : nullptr;
  return set != nullptr ? set->GetSprite() : nullptr;
}

int Player::FrameRate() const { return game.FrameRate(); }
bool Player::AutoFades() const { return game.GetState().autoFades; }
bool Player::AutoLights() const { return game.GetState().autoLights; }
bool Player::AutoCrowd() const { return game.GetState().autoCrowd; }

std::vector<float> Player::FadeParams() const {
  const Styles::Style* style = styles != nullptr ? styles->GetCurrent() : nullptr;
  return style != nullptr ? style->fadeParams : std::vector<float>{PostFX::kDefaultFadeDepth};
}

std::vector<float> Player::StrobeParams() const {
  const Styles::Style* style = styles != nullptr ? styles->GetCurrent() : nullptr;
  return style != nullptr ? style->strobeParams : std::vector<float>{};
}

void Player::BeginRun() {
  postFx.SetTarget(&canvas);
  if (Styles::Manager* manager = StyleManager()) {
    manager->Prepare();
  }
}

bool Player::OpenSong(const std::string& path) {
  Log("\n...creating a new game");
  Audio::IPlayer* module = game.Module();
  if (module == nullptr) {
    const std::string message =
        "The player module audio.so could not be loaded: " + game.ModuleError();
    Log("%s", message.c_str());
    game.ShowMessage(message, App::IMessageBox::Icon::kError);
    return false;
  }
  if (!module->OpenFile(path.c_str())) {
    const char* reason = module->GetLastError();
    const std::string message = "Unable to open " + path + ": " +
                                (reason != nullptr && *reason != '\0' ? reason : "unknown error");
    Log("%s", message.c_str());
    game.ShowMessage(message, App::IMessageBox::Icon::kWarning);
    return false;
  }
  try {
    return Prepare();
  } catch (const FileNotSupportedException& error) {
    Log("%s (%s)", kMeterMessage, error.Describe().c_str());
    game.ShowMessage(kMeterMessage, App::IMessageBox::Icon::kWarning);
  } catch (const FileNotAnalyzed& error) {
    Log("%s (%s)", kAnalysisMessage, error.Describe().c_str());
    game.ShowMessage(kAnalysisMessage, App::IMessageBox::Icon::kWarning);
  }
  Reset();
  return false;
}

bool Player::Prepare() {
  Log("...initializing");
  Audio::IPlayer* module = game.Module();
  const Audio::SongData* song = module != nullptr ? module->GetSong() : nullptr;
  Artists::Animation::SetQuality(game.GetProfile().animQuality);
  scene.SetFrameRate(game.FrameRate());
  postFx.SetFrameRate(game.FrameRate());
  // A song prepared again starts from nothing.
  for (Animation* animation : animations) {
    delete animation;
  }
  animations.clear();
  readAheadDone = false;
  patchesByChannel.clear();
  unplaced.clear();
  showOffsetMs = 0;
  bool artistsLoaded = true;
  try {
    Artists::Manager::Instance()->Reset();
  } catch (const Vell::Exception& error) {
    Log("The artists could not be loaded: %s", error.Describe().c_str());
    Vell::Diagnostics::Warn(
        "The artists in ./artists/ could not be loaded: the show runs without "
        "artists");
    artistsLoaded = false;
  }
  analysis = std::make_unique<Data::Events::Analysis>(song);
  if (!analysis->IsConfigLoaded()) {
    Vell::Diagnostics::Warn("The analysis settings could not be read (" + analysis->ConfigError() +
                            "): the analysis runs with its defaults and no drum groups");
  }
  if (song == nullptr || !analysis->Run()) {
    if (!analysis->Error().empty()) {
      Log("analysis: %s", analysis->Error().c_str());
    }
    throw FileNotAnalyzed();
  }
  songLengthMs = analysis->GetTotalLength();

  const Data::Tracks::Event* barTrack = analysis->GetBarTrack();
  for (const Data::Events::Event* event : barTrack->GetEvents()) {
    if (event->GetType() != Data::Events::BarBegin::kType) {
      continue;
    }
    const auto* bar = static_cast<const Data::Events::BarBegin*>(event);
    if (Data::Tracks::BeatFactor(static_cast<int>(bar->Numerator()),
                                 static_cast<int>(bar->Denominator()),
                                 static_cast<int>(bar->Tempo())) == -1.0f) {
      throw FileNotSupportedException();
    }
  }

  // Candidates: melodic tracks sorted by their busy span (equal keys in arrival order), drum
  // groups in front so that they are taken last.
  const Artists::Animation::Manager* settings = Artists::Animation::Manager::Instance();
  const int threshold = settings->melodicThreshold;
  const int eventsMin = settings->eventsMin;
  const size_t barCount = analysis->GetBarCount();
  std::deque<int64_t> keys;
  std::deque<const Data::Tracks::Event*> candidates;
  bool hasMelodic = false;
  for (const Data::Tracks::Event* track : analysis->GetTracks()) {
    const int patch = track->GetPatch();
    if (patch == -1) {
      continue;
    }
    if (IsDrumGroup(patch)) {
      keys.push_front(static_cast<int64_t>(kDrumKey));
      candidates.push_front(track);
      continue;
    }
    if (patch <= 127) {
      hasMelodic = true;
    }
    int64_t last = 0;
    int64_t before = 0;
    int active = 0;
    for (const Data::Events::Event* event : track->GetEvents()) {
      if (event->GetType() != Data::Events::BarRange::kType) {
        continue;
      }
      const auto* range = static_cast<const Data::Events::BarRange*>(event);
      if (range->NoteCount() > static_cast<float>(threshold)) {
        last = range->start;
        if (patch < 204 || range->Weight() >= 1.0f) {
          ++active;
        }
      } else if (range->NoteCount() < static_cast<float>(threshold) && last == 0) {
        before = range->start;
      }
    }
    // A part busy in a quarter of the song's bars is played even when the song is too short
    // for eventsMin busy bars: nobody plays to an empty stage.
    const bool busyShare = active > 0 && static_cast<size_t>(active) * 4 >= barCount;
    if (active < eventsMin && !busyShare) {
      if (patch <= 127 && active > 0) {
        NoPerformer(track, "busy in only " + std::to_string(active) + " of " +
                               std::to_string(barCount) + " bars, fewer than the " +
                               std::to_string(eventsMin) + " needed (eventsMin)");
      }
      continue;
    }
    const int64_t key = last - before;
    size_t at = 0;
    while (at < keys.size() && keys[at] <= key) {
      ++at;
    }
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at), key);
    candidates.insert(candidates.begin() + static_cast<std::ptrdiff_t>(at), track);
  }

  const Profile& profile = game.GetProfile();
  int count = 0;
  std::vector<Animation*> drumKit;
  bool drumComplete = false;
  bool limitReached = false;
  audioStartMs = 0;
  for (auto it = candidates.rbegin(); artistsLoaded && it != candidates.rend(); ++it) {
    const Data::Tracks::Event* track = *it;
    const int patch = track->GetPatch();
    const bool drum = IsDrumGroup(patch);
    if (count >= profile.max) {
      limitReached = true;
      if (!profile.forceDrummer || drumComplete) {
        for (auto left = it; left != candidates.rend(); ++left) {
          if (!IsDrumGroup((*left)->GetPatch())) {
            NoPerformer(*left, "over the limit of " + std::to_string(profile.max) +
                                   " musicians (max in the settings)");
          }
        }
        break;
      }
      if (!drum) {
        NoPerformer(track, "over the limit of " + std::to_string(profile.max) +
                               " musicians (max in the settings)");
        continue;
      }
    }
    patchesByChannel.emplace(track->GetChannel(), patch);
    Animation* animation = nullptr;
    uint64_t lateness = 0;
    bool prepared = false;
    try {
      animation = new Animation(track, barTrack, game.FrameRate(),
                                Vell::Gfx::G2D::Sprites::Scene::kImageRate);
      prepared = animation->Prepare(lateness);
    } catch (const Data::Tracks::PatchNotFoundException&) {
      Log("Artist for patch #%d was not found or mapped is already defined. No animation created",
          patch);
      if (!drum) {
        NoPerformer(track,
                    "no musician is mapped to it, or every musician mapped to it is "
                    "already taken or does not fit its range");
      }
      delete animation;
      continue;
    } catch (const Data::Tracks::AnimationNotFoundException& error) {
      Log("Error loading animation sets (%s). Track for patch #%d not created",
          error.Describe().c_str(), patch);
      if (!drum) {
        NoPerformer(track, "its musician lacks an animation set (" + error.Detail() + ")");
      }
      delete animation;
      continue;
    } catch (const Vell::Exception& error) {
      Log("%s", error.Describe().c_str());
      if (!drum) {
        NoPerformer(track, error.ToString());
      }
      delete animation;
      continue;
    }
    if (!prepared) {
      if (!drum) {
        NoPerformer(track, "no bar over the threshold of " +
                               std::to_string(settings->melodicThreshold) + " notes");
      }
      delete animation;
      if (drum) {
        drumKit.push_back(nullptr);
        if (drumKit.size() == 4) {
          drumComplete = true;
        }
      }
      continue;
    }
    if (drum) {
      drumKit.push_back(animation);
      if (drumKit.size() == 4) {
        drumComplete = true;
        ++count;
      }
    } else {
      animations.push_back(animation);
      ++count;
    }
    audioStartMs = std::max<int64_t>(audioStartMs, static_cast<int64_t>(lateness));
  }
  if (limitReached) {
    Log("Max allowed artists count reached");
    if (!profile.forceDrummer && !drumComplete) {
      for (Animation*& animation : drumKit) {
        delete animation;
        animation = nullptr;
      }
    }
  }
  // The band is known: spread it across the stage. A musician who finds no room left does not
  // play (the lowest priorities first).
  std::vector<Artists::Artist*> band;
  for (const std::vector<Animation*>* list : {&animations, &drumKit}) {
    for (const Animation* animation : *list) {
      // The drum groups share one drummer.
      if (animation != nullptr &&
          std::find(band.begin(), band.end(), animation->GetArtist()) == band.end()) {
        band.push_back(animation->GetArtist());
      }
    }
  }
  const std::vector<Artists::Artist*> noRoom = Artists::Layout::Instance()->Arrange(band);
  if (!noRoom.empty()) {
    std::erase_if(animations, [&](Animation* animation) {
      if (std::find(noRoom.begin(), noRoom.end(), animation->GetArtist()) == noRoom.end()) {
        return false;
      }
      NoPerformer(animation->GetTrack(),
                  "no room left on the stage for its musician (priority " +
                      std::to_string(animation->GetArtist()->priority) + ") beside the " +
                      std::to_string(band.size() - noRoom.size()) + " performers of the song");
      delete animation;
      return true;
    });
  }
  // Where each artist stands decides its walk-on: the music starts when every artist, the
  // drummer too, has walked on.
  audioStartMs = 0;
  for (const std::vector<Animation*>* list : {&animations, &drumKit}) {
    for (const Animation* animation : *list) {
      if (animation != nullptr) {
        audioStartMs = std::max<int64_t>(audioStartMs, static_cast<int64_t>(animation->Lateness()));
      }
    }
  }

  const uint64_t offset =
      static_cast<uint64_t>(profile.latency) + static_cast<uint64_t>(audioStartMs);
  showOffsetMs = static_cast<int64_t>(offset);
  for (Animation* animation : animations) {
    animation->Build(offset);
  }
  bool drummerBuilt = false;
  for (Animation* animation : drumKit) {
    if (animation != nullptr) {
      animation->Build(offset);
      drummerBuilt = true;
    }
  }
  if (drummerBuilt) {
    if (Animation* drummer = Animation::MergeDrums(drumKit)) {
      animations.push_back(drummer);
    }
  }
  for (Animation* animation : drumKit) {
    delete animation;
  }
  if (!hasMelodic && !drummerBuilt) {
    game.ShowMessage(kNoPatchesMessage, App::IMessageBox::Icon::kWarning);
  }
  ChooseStyle();
  Log("initialized");
  return true;
}

void Player::NoPerformer(const Data::Tracks::Event* track, const std::string& reason) {
  const int patch = track->GetPatch();
  std::string name;
  if (patch >= 0 && patch <= 127 && Artists::Manager::Exists()) {
    try {
      name = Artists::Manager::Instance()->GetInstrumentName(patch);
    } catch (const Vell::Exception& error) {
      Log("No instrument name for patch %d: %s", patch, error.Describe().c_str());
      name.clear();
    }
  }
  Log("No musician plays patch #%d%s%s on channel %d: %s", patch, name.empty() ? "" : " ",
      name.c_str(), track->GetChannel() + 1, reason.c_str());
  unplaced.push_back({patch, track->GetChannel(), reason});
}

bool Player::LoadProject(const std::string& path, std::string* why) {
  Log("\n...loading a game");
  const auto fail = [&](const std::string& reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  };
  Audio::IPlayer* module = game.Module();
  if (module == nullptr) {
    return fail("The player module audio.so could not be loaded: " + game.ModuleError());
  }
  Vell::Data::FileStg file;
  if (!file.Open(path.c_str(), "rb")) {
    return fail("cannot open " + path + ": " + file.Error());
  }
  Project::Content content;
  std::string reason;
  if (!Project::Read(file, content, &reason)) {
    return fail(path + ": " + reason);
  }
  game.SetTitle(content.title);
  projectFactor = content.factor;
  Vell::Data::MemoryStg stateBytes(content.state);
  (void)game.GetState().Load(stateBytes);  // a short state chunk still loads
  songBytes = std::move(content.song);
  Vell::Data::MemoryStg songStream(songBytes.data(), songBytes.size());
  if (!module->OpenStream(&songStream)) {
    const char* error = module->GetLastError();
    return fail(path + ": the song cannot be read: " +
                (error != nullptr && *error != '\0' ? error : "unknown error"));
  }
  if (Styles::Manager* manager = StyleManager()) {
    manager->SelectByName(content.style);
  }
  for (const std::vector<unsigned char>& body : content.actions) {
    Vell::Data::MemoryStg actionBytes(body);
    if (!actions.Load(actionBytes)) {
      return fail(path + ": the recorded actions are damaged");
    }
  }
  // The file holds the switches as the recorded show leaves them: the show starts from them with
  // its recorded toggles undone.
  RecordedToggles().ApplyTo(game.GetState());
  applied = Flips();
  try {
    if (!Prepare()) {
      return fail(path + ": the song cannot be prepared");
    }
  } catch (const Vell::Exception& error) {
    return fail(path + ": " + error.Describe());
  }
  return true;
}

void Player::ReadAhead(int count) {
  if (readAheadDone) {
    return;
  }
  for (Animation* animation : animations) {
    Artists::Artist* artist = animation->GetArtist();
    if (artist == nullptr) {
      continue;
    }
    for (const auto& [kind, set] : artist->sets) {
      if (Vell::Gfx::G2D::Sprites::Sprite* sprite = set->GetSprite()) {
        count = sprite->ReadAhead(count);
        if (count == 0) {
          return;
        }
      }
    }
  }
  readAheadDone = true;
}

bool Player::Reset() {
  UndoAppliedToggles();
  recordedAhead.clear();
  patchesByChannel.clear();
  actions.Clear();
  for (Animation* animation : animations) {
    delete animation;
  }
  animations.clear();
  readAheadDone = false;
  activeSets.clear();
  scene.sprites.Clear();
  analysis.reset();
  projectFactor = 1.0f;
  lyrics.Clear();
  if (Artists::Manager::Exists()) {
    Artists::Manager::Instance()->Reset();
  }
  songBytes.clear();
  songBytes.shrink_to_fit();
  songLengthMs = 0;
  audioStartMs = 0;
  showOffsetMs = 0;
  unplaced.clear();
  firstFrame = true;
  return true;
}

void Player::ResetPlayback() {
  if (Styles::Manager* manager = StyleManager()) {
    manager->Reset();
  }
  postFx.Reset();
  lyrics.Clear();
  firstFrame = true;
  // Every run replays the recorded show from the switches the song starts with.
  UndoAppliedToggles();
  recordedAhead.clear();
  replayedUpTo = -1;
  if (Audio::IPlayer* module = game.Module()) {
    if (Audio::ICrowd* crowd = module->GetCrowd()) {
      crowd->StopAll();
    }
  }
}

void Player::Track(int frame) {
  currentFrame = frame;
  activeSets.clear();
  scene.sprites.Clear();
  const int64_t t = static_cast<int64_t>(frame) * 1000 / game.FrameRate();
  for (Animation* animation : animations) {
    if (Artists::Animation::Set* set = animation->CurrentSet(static_cast<uint64_t>(t))) {
      activeSets.push_back(set);
      scene.sprites.Add(set->GetSprite());
    }
    if (Artists::Artist* artist = animation->GetArtist()) {
      for (int i = 0; i < artist->sprites.Count(); ++i) {
        scene.sprites.Add(artist->sprites.GetAt(i));
      }
    }
  }
  if (firstFrame) {
    scene.Reset();
    firstFrame = false;
  }
  scene.Track(frame);
  ReplayActions();
  Audio::IPlayer* module = game.Module();
  if (module != nullptr) {
    if (const Audio::SongData* song = module->GetSong()) {
      const int ticks = module->GetPositionTicks();
      lyrics.Update(*song, static_cast<uint32_t>(ticks > 0 ? ticks : 0));
    }
  }
  postFx.LimitFlashing(
      game.GetProfile().reduceFlashing ? PostFX::SafeFlashInterval(game.FrameRate()) : 0);
  postFx.Track(frame);
  if (Styles::Style* style = CurrentStyle()) {
    style->Track(frame);
  }
}

void Player::ReplayActions() {
  // Every action up to this frame that this run has not replayed yet: frames can be skipped when
  // the show follows the module's clock.
  const Data::Tracks::Action::Container& all = actions.GetActions();
  const int recorded = RecordedFrame();
  for (auto it = all.upper_bound(replayedUpTo); it != all.end() && it->first <= recorded; ++it) {
    if (recordedAhead.erase(it->first) != 0) {
      continue;  // recorded live in this run and applied then
    }
    RunRecorded(static_cast<ActionCode>(it->second->GetCode()));
  }
  if (recorded > replayedUpTo) {
    replayedUpTo = recorded;
  }
}

int Player::RecordedFrame() const {
  return static_cast<int>(static_cast<int64_t>(currentFrame) * Game::kFrameRate / game.FrameRate());
}

void Player::LiveAction(ActionCode code) {
  if (!game.GetState().recording || !game.GetState().running) {
    RunAction(code);  // not part of the recorded show
    return;
  }
  // One action a frame: a second click within the same frame (or clicks while paused) go to the
  // next free frames rather than being lost; having been applied now, they are not replayed in
  // this run.
  int at = replayedUpTo < 0 ? 0 : RecordedFrame();  // before the run's first frame: its start
  while (actions.Get(at) != nullptr) {
    ++at;
  }
  (void)actions.Add(at, static_cast<int>(code));
  if (at > replayedUpTo) {
    recordedAhead.insert(at);
  }
  RunRecorded(code);
}

void Player::Flips::Note(ActionCode code) {
  switch (code) {
    case ActionCode::kToggleAutoFades:
      fades = !fades;
      break;
    case ActionCode::kToggleAutoLights:
      lights = !lights;
      break;
    case ActionCode::kToggleAutoCrowd:
      crowd = !crowd;
      break;
    default:
      break;
  }
}

void Player::Flips::ApplyTo(State& state) const {
  if (fades) {
    state.autoFades = !state.autoFades;
  }
  if (lights) {
    state.autoLights = !state.autoLights;
  }
  if (crowd) {
    state.autoCrowd = !state.autoCrowd;
  }
}

void Player::RunRecorded(ActionCode code) {
  RunAction(code);
  applied.Note(code);
}

void Player::UndoAppliedToggles() {
  if (applied.fades || applied.lights || applied.crowd) {
    switchesFlipped = true;
  }
  applied.ApplyTo(game.GetState());
  applied = Flips();
}

Player::Flips Player::RecordedToggles() const {
  Flips all;
  for (const auto& [time, action] : actions.GetActions()) {
    all.Note(static_cast<ActionCode>(action->GetCode()));
  }
  return all;
}

void Player::ShowEndSwitches(State& state) const {
  applied.ApplyTo(state);            // back to the song's start
  RecordedToggles().ApplyTo(state);  // and through every recorded toggle
}

void Player::RunAction(ActionCode code) {
  State& state = game.GetState();
  Styles::Style* style = CurrentStyle();
  // Hand-played crowd sounds play at the style's volume, as the crowd automation plays them.
  const auto crowd = [this, &state, style](const char* series) {
    if (state.autoCrowd) {
      return;
    }
    if (Audio::IPlayer* module = game.Module()) {
      if (Audio::ICrowd* sounds = module->GetCrowd()) {
        sounds->PlaySeries(series, style != nullptr ? style->CrowdVolume(series) : 1.0f);
      }
    }
  };
  // The bottom and the top light of one side, together.
  const auto stagePair = [&state, style](int side) {
    if (state.autoLights || style == nullptr) {
      return;
    }
    for (int index : {side, side + kTopLightOffset}) {
      Styles::StageLight& light = style->stageLights[static_cast<size_t>(index)];
      if (light.active) {
        light.Reset();
      } else {
        light.Fire();
      }
    }
  };
  const auto searchLight = [&state, style](int index) {
    if (!state.autoLights && style != nullptr) {
      style->searchLights[static_cast<size_t>(index)].Fire();
    }
  };
  switch (code) {
    case ActionCode::kFadeDarker:
      if (!state.autoFades) {
        postFx.FadeIn(1, false);
      }
      break;
    case ActionCode::kFadeLighter:
      if (!state.autoFades) {
        postFx.FadeOut(false);
      }
      break;
    case ActionCode::kStrobe:
      if (!state.autoLights) {
        postFx.Strobe();
      }
      break;
    case ActionCode::kLeftStageLights:
      stagePair(0);
      break;
    case ActionCode::kCentreStageLights:
      stagePair(1);
      break;
    case ActionCode::kRightStageLights:
      stagePair(2);
      break;
    case ActionCode::kSearchLight0:
      searchLight(0);
      break;
    case ActionCode::kSearchLight1:
      searchLight(1);
      break;
    case ActionCode::kSearchLight2:
      searchLight(2);
      break;
    case ActionCode::kToggleAutoFades:
      state.autoFades = !state.autoFades;
      switchesFlipped = true;
      break;
    case ActionCode::kToggleAutoLights:
      state.autoLights = !state.autoLights;
      switchesFlipped = true;
      break;
    case ActionCode::kToggleAutoCrowd:
      state.autoCrowd = !state.autoCrowd;
      switchesFlipped = true;
      break;
    case ActionCode::kWhistle:
      crowd("whistle");
      break;
    case ActionCode::kBravo:
      crowd("bravo");
      break;
    case ActionCode::kNoise:
      crowd("noise");
      break;
    case ActionCode::kApplause:
      crowd("applause");
      break;
    case ActionCode::kSpeech:
      crowd("speech");
      break;
    case ActionCode::kNone:
      break;
  }
}

void Player::Render(int frame) {
  const State& state = game.GetState();
  Styles::Style* style = CurrentStyle();
  if (state.noClear) {
    // The stage picture covers last frame; without one the canvas must be cleared, or sprites and
    // lights would pile up over the frames.
    if (style != nullptr && style->StageImage() != nullptr && !style->StageImage()->Empty()) {
      canvas.DrawBackground(style->StageImage());
    } else {
      canvas.Clear();
    }
  }
  if (game.GetProfile().shadows && state.noClear && style != nullptr) {
    style->shadows.Draw(canvas, scene.sprites, kStageCentreX);
    style->shadows.DrawContacts(canvas, scene.sprites, kStageCentreX);
  }
  scene.RenderTo(canvas);
  postFx.Render(frame);
  if (style != nullptr) {
    style->RenderTo(canvas, frame);
  }
}

std::vector<int> Player::PatchesOfChannel(int channel) const {
  std::vector<int> patches;
  auto [first, last] = patchesByChannel.equal_range(channel);
  for (auto it = first; it != last; ++it) {
    patches.push_back(it->second);
  }
  return patches;
}

std::vector<Player::Animation*> Player::AnimationsOfChannel(int channel) const {
  std::vector<Animation*> found;
  for (Animation* animation : animations) {
    const Data::Tracks::Event* track = animation->GetTrack();
    if ((track != nullptr ? track->GetChannel() : 9) == channel) {
      found.push_back(animation);
    }
  }
  return found;
}

}  // namespace Kesh::Game
