#include "gui/mixer_panel.h"

#include <QSignalBlocker>
#include <tuple>

#include "game/game.h"
#include "gui/game_events.h"
#include "gui/skin.h"
#include "widgets/mixer_strip.h"

namespace Kesh::GUI {

namespace {

constexpr int kChannels = Game::Game::kChannels;
constexpr int kStripWidth = 47;
constexpr int kStageWidth = 815;
// The balance knob's turn for a full side.
constexpr int kBalanceRange = 64;

}  // namespace

MixerPanel::MixerPanel(QWidget* parent) : QWidget(parent) {
  SetPanel(this);
  for (int c = 0; c <= kChannels; ++c) {
    const bool master = c == kChannels;
    auto* strip = new L::MixerStrip(
        master, master ? kStageWidth - kChannels * kStripWidth : kStripWidth, this);
    strip->move(c * kStripWidth, 0);
    strips.push_back(strip);
    if (master) {
      connect(strip, &L::MixerStrip::ArtistsClicked, this, [this] {
        if (game != nullptr) {
          game->SetCrowdMuted(!game->CrowdMuted());
          Refresh(Game::Change::kMixer);
        }
      });
      connect(strip, &L::MixerStrip::PanMoved, this, [this](int value) {
        std::tie(leftGain, rightGain) = L::BalanceGains(value);
        SetCrowdVolume();
      });
      connect(strip, &L::MixerStrip::LevelMoved, this, [this](int value) {
        crowdLevel = static_cast<float>(value) / kLevelMax;
        SetCrowdVolume();
      });
      continue;
    }
    connect(strip, &L::MixerStrip::ArtistsClicked, this, [this, c] {
      if (game != nullptr) {
        game->SetArtistsShown(c, !game->ArtistsShown(c));
        Refresh(Game::Change::kMixer);
      }
    });
    connect(strip, &L::MixerStrip::SoundClicked, this, [this, c] {
      if (game != nullptr) {
        game->SetChannelMuted(c, !game->ChannelMuted(c));
        Refresh(Game::Change::kMixer);
      }
    });
    connect(strip, &L::MixerStrip::PanMoved, this, [this, c](int value) {
      if (game != nullptr) {
        game->SetChannelPan(c, value);
      }
    });
    connect(strip, &L::MixerStrip::LevelMoved, this, [this, c](int value) {
      if (game != nullptr) {
        game->SetChannelVolume(c, value);
      }
    });
  }
}

void MixerPanel::Attach(Game::Game& attached, GameEvents& events) {
  game = &attached;
  connect(&events, &GameEvents::Changed, this, &MixerPanel::Refresh);
  Refresh(Game::Change::kMixerReset);
}

void MixerPanel::SetCrowdVolume() {
  if (game != nullptr) {
    game->SetCrowdVolume(crowdLevel * leftGain, crowdLevel * rightGain);
  }
}

void MixerPanel::Refresh(Game::Change what) {
  if (what == Game::Change::kTransport || what == Game::Change::kStyle) {
    return;
  }
  L::MixerStrip* master = strips[kChannels];
  if (what == Game::Change::kMixerReset) {
    crowdLevel = leftGain = rightGain = 1.0F;
    master->SetPan(static_cast<int>((leftGain - rightGain) * -kBalanceRange));
    master->SetLevel(static_cast<int>((leftGain + rightGain) * kLevelMax / 2));
  }
  for (int c = 0; c < kChannels; ++c) {
    L::MixerStrip* strip = strips[static_cast<size_t>(c)];
    if (what == Game::Change::kMixerReset) {
      strip->SetLevel(game->ChannelVolume(c));
      strip->SetPan(game->ChannelPan(c));
    }
    if (what == Game::Change::kSong) {
      strip->SetName(QString::fromStdString(game->ChannelName(c)));
    }
    strip->SetArtistsPressed(game->ArtistsShown(c));
    strip->SetSoundPressed(!game->ChannelMuted(c));
  }
  master->SetArtistsPressed(!game->CrowdMuted());
}

}  // namespace Kesh::GUI
