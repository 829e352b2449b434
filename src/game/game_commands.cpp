// The game's commands: what the window's controls do to the show, each announced once.
#include <algorithm>
#include <string>

#include "app/log.h"
#include "artists/manager.h"
#include "game/game.h"
#include "game/player.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace Kesh::Game {

namespace {

bool ValidChannel(int channel) { return channel >= 0 && channel < Game::kChannels; }

}  // namespace

std::unique_ptr<Listeners::Subscription> Game::Subscribe(IListener* listener) {
  return std::make_unique<Listeners::Subscription>(listeners, listener);
}

void Game::AnnounceFlips() {
  if (player->TakeSwitchesFlipped()) {
    Announce(Change::kSwitches);
  }
}

void Game::ResetDisplaySwitches() {
  state.ResetDisplaySwitches();
  Announce(Change::kSwitches);
}

void Game::ToggleSwitch(Switch which) {
  std::atomic<bool>& field = which == Switch::kNoClear          ? state.noClear
                             : which == Switch::kCounterReadout ? state.counterReadout
                                                                : state.timeReadout;
  field = !field;
  Announce(Change::kSwitches);
}

void Game::TogglePause() {
  if (!state.paused) {
    Pause();
  } else {
    Play();
  }
}

void Game::PlayOrPause() {
  if (state.running) {
    TogglePause();
  } else if (songLoaded) {
    Play();
  }
}

void Game::ToggleLoop() {
  state.loop = !state.loop;
  Announce(Change::kTransport);
}

void Game::ToggleRecording() {
  state.recording = !state.recording;
  Announce(Change::kTransport);
}

void Game::SetKaraoke(bool on) {
  state.karaoke = on;
  Announce(Change::kSwitches);
}

void Game::LiveAction(ActionCode code) {
  if (!TogglesSwitch(code) && !state.running) {
    return;  // effects need a running song
  }
  {
    const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
    player->LiveAction(code);
  }
  AnnounceFlips();
}

std::vector<std::string> Game::StyleNames() {
  std::vector<std::string> names;
  if (Styles::Manager* styles = player->StyleManager()) {
    for (int id = 0; id < styles->Count(); ++id) {
      names.push_back(styles->GetById(id)->GetName());
    }
  }
  return names;
}

int Game::CurrentStyleId() {
  const Styles::Style* style = player->CurrentStyle();
  return style != nullptr ? style->GetId() : -1;
}

void Game::SelectStyle(int id) {
  Styles::Manager* styles = player->StyleManager();
  if (styles == nullptr) {
    return;
  }
  {
    const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
    (void)styles->SelectById(id);  // an unknown id keeps the current style
  }
  Announce(Change::kStyle);
}

void Game::SetChannelMuted(int channel, bool muted) {
  if (services.module != nullptr && ValidChannel(channel)) {
    services.module->SetMute(channel, muted);
    Announce(Change::kMixer);
  }
}

bool Game::ChannelMuted(int channel) const {
  return services.module != nullptr && ValidChannel(channel) && services.module->GetMute(channel);
}

void Game::SetChannelVolume(int channel, int volume) {
  if (services.module != nullptr && ValidChannel(channel)) {
    services.module->SetVolume(channel, volume);
    Announce(Change::kMixer);
  }
}

int Game::ChannelVolume(int channel) const {
  return services.module != nullptr && ValidChannel(channel) ? services.module->GetVolume(channel)
                                                             : kDefaultVolume;
}

void Game::SetChannelPan(int channel, int pan) {
  if (services.module != nullptr && ValidChannel(channel)) {
    services.module->SetPan(channel, pan);
    Announce(Change::kMixer);
  }
}

int Game::ChannelPan(int channel) const {
  return services.module != nullptr && ValidChannel(channel) ? services.module->GetPan(channel) : 0;
}

void Game::SetArtistsShown(int channel, bool shown) {
  {
    // The frame thread reads the switch while it tracks a frame.
    const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
    for (auto* animation : player->AnimationsOfChannel(channel)) {
      if (animation->GetArtist() != nullptr) {
        animation->GetArtist()->shown = shown;
      }
    }
  }
  Announce(Change::kMixer);
}

bool Game::ArtistsShown(int channel) {
  const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
  const auto animations = player->AnimationsOfChannel(channel);
  if (animations.empty() || animations.front()->GetArtist() == nullptr) {
    return true;
  }
  return animations.front()->GetArtist()->shown;
}

std::string Game::ChannelName(int channel) {
  if (channel == kDrumChannel) {
    return "Drums";
  }
  if (!Artists::Manager::Exists()) {
    return {};
  }
  const std::vector<int> patches = player->PatchesOfChannel(channel);
  return patches.empty() ? std::string()
                         : Artists::Manager::Instance()->GetInstrumentName(patches.front());
}

bool Game::HasCrowd() const {
  return services.module != nullptr && services.module->GetCrowd() != nullptr;
}

void Game::SetCrowdMuted(bool muted) {
  if (HasCrowd()) {
    services.module->GetCrowd()->Mute(muted);
    Announce(Change::kMixer);
  }
}

bool Game::CrowdMuted() const { return !HasCrowd() || services.module->GetCrowd()->IsMuted(); }

void Game::SetCrowdVolume(float left, float right) {
  if (HasCrowd()) {
    services.module->GetCrowd()->SetVolume(left, right);
    Announce(Change::kMixer);
  }
}

void Game::ResetMixer() {
  if (services.module != nullptr) {
    for (int c = 0; c < kChannels; ++c) {
      services.module->SetVolume(c, kDefaultVolume);
      services.module->SetPan(c, 0);
      services.module->SetMute(c, false);
    }
    if (Audio::ICrowd* crowd = services.module->GetCrowd()) {
      crowd->Mute(false);
      crowd->SetVolume(1.0F, 1.0F);
    }
  }
  {
    const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
    for (int c = 0; c < kChannels; ++c) {
      for (auto* animation : player->AnimationsOfChannel(c)) {
        if (animation->GetArtist() != nullptr) {
          animation->GetArtist()->shown = true;
        }
      }
    }
  }
  Announce(Change::kMixerReset);
}

void Game::Transpose(int delta) {
  if (services.module == nullptr) {
    return;
  }
  services.module->SetTranspose(
      std::clamp(services.module->GetTranspose() + delta, -kTransposeLimit, kTransposeLimit));
  Announce(Change::kMixer);
}

int Game::Transposition() const {
  return services.module != nullptr ? services.module->GetTranspose() : 0;
}

bool Game::OpenSavedOutput(std::string* why) {
  Audio::IPlayer* module = services.module;
  if (module == nullptr || profile.device == kBuiltInOutput) {
    return true;
  }
  // Outputs come and go (a port plugged in or out): the saved name finds its output wherever it
  // now stands in the list; without a name (older files) the number is taken as it is.
  int found = profile.device;
  if (!profile.deviceName.empty()) {
    found = -1;
    char name[256];
    for (int i = 0, count = module->GetMidiOutputCount(); i < count && found < 0; ++i) {
      if (module->GetMidiOutputName(i, name, sizeof name) && profile.deviceName == name) {
        found = i;
      }
    }
  }
  const std::string shown = profile.deviceName.empty() ? "number " + std::to_string(profile.device)
                                                       : "\"" + profile.deviceName + "\"";
  if (found >= 0 && module->SelectMidiOutput(found, 0)) {
    profile.device = found;
    return true;
  }
  Log("MIDI output %s of the settings could not be opened", shown.c_str());
  if (why != nullptr) {
    *why = "The MIDI output of the settings (" + shown +
           (found < 0 ? ") is gone" : ") could not be opened") + ": the built-in synthesizer plays";
  }
  profile.device = kBuiltInOutput;
  profile.deviceName.clear();
  return false;
}

void Game::ResetShow() {
  if (services.module != nullptr) {
    services.module->SetTranspose(0);
  }
  ResetMixer();
  ResetDisplaySwitches();
}

std::vector<Game::ArtistInfo> Game::ArtistList() {
  std::vector<ArtistInfo> artists;
  const Artists::Manager* manager = nullptr;
  try {
    manager = Artists::Manager::Instance();
  } catch (const std::exception& error) {
    Log("No artists: %s", error.what());
    return artists;
  }
  for (int i = 0; i < manager->GetCache().Count(); ++i) {
    const auto* artist =
        static_cast<const Artists::Manager::Cache::Artist*>(manager->GetCache().Item(i));
    // The artist files name their thumbnails relative to the artists folder.
    artists.push_back({Artists::Manager::kFolder + artist->thumb, artist->name, artist->desc});
  }
  return artists;
}

}  // namespace Kesh::Game
