#include "gui/stage_controls.h"

#include <QComboBox>
#include <QLabel>
#include <vector>

#include "game/game.h"
#include "gui/game_events.h"
#include "gui/skin.h"
#include "widgets/image_button.h"

namespace Kesh::GUI {

namespace {

using Game::ActionCode;
using Game::StageCommand;

// Hot regions of the effect frames as fractions of the frame image (the skin generator draws the
// frames with the same table).
const std::vector<QRectF> kLightRegions = {
    {0.0 / 3, 0.0, 1.0 / 3, 1.0 / 3},     {1.0 / 3, 0.0, 1.0 / 3, 1.0 / 3},
    {2.0 / 3, 0.0, 1.0 / 3, 1.0 / 3},     {0.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3},
    {1.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3}, {2.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3},
    {0.0, 2.0 / 3, 0.5, 1.0 / 3},         {0.5, 2.0 / 3, 0.5, 1.0 / 3}};
const std::vector<QRectF> kCrowdRegions = {{0.0 / 3, 0.0, 1.0 / 3, 0.5},
                                           {1.0 / 3, 0.0, 1.0 / 3, 0.5},
                                           {2.0 / 3, 0.0, 1.0 / 3, 0.5},
                                           {0.0, 0.5, 0.5, 0.5},
                                           {0.5, 0.5, 0.5, 0.5}};
// Codes recorded by the regions (region index -> action code).
constexpr ActionCode kLightCodes[8] = {ActionCode::kSearchLight0,
                                       ActionCode::kSearchLight1,
                                       ActionCode::kSearchLight2,
                                       ActionCode::kLeftStageLights,
                                       ActionCode::kCentreStageLights,
                                       ActionCode::kRightStageLights,
                                       ActionCode::kNone,
                                       ActionCode::kStrobe};
constexpr ActionCode kCrowdCodes[5] = {ActionCode::kBravo, ActionCode::kApplause,
                                       ActionCode::kWhistle, ActionCode::kNoise,
                                       ActionCode::kSpeech};

}  // namespace

StageControls::StageControls(QWidget* parent) : QWidget(parent) {
  auto add = [this](StageCommand id, const char* skin, const char* tip, int left, int top,
                    auto command) {
    auto* button = new L::ImageButton(Skin(skin), tr(tip), this);
    button->move(left, top);
    buttons[id] = button;
    connect(button, &L::ImageButton::clicked, this, [this, command] {
      if (game != nullptr) {
        command(*game);
        Refresh(Game::Change::kSwitches);  // a click that changed nothing undoes its check
      }
    });
    return button;
  };
  auto toggle = [&add](StageCommand id, const char* skin, const char* tip, int left,
                       Game::Game::Switch which) {
    add(id, skin, tip, left, 20, [which](Game::Game& g) {
      g.ToggleSwitch(which);
    })->setCheckable(true);
  };
  auto live = [&add](StageCommand id, const char* skin, const char* tip, int left, int top,
                     ActionCode code) {
    return add(id, skin, tip, left, top, [code](Game::Game& g) { g.LiveAction(code); });
  };
  toggle(StageCommand::kNoClear, "noclear",
         "Show the stage picture and the shadows (off: the band plays on a bare, dark stage)", 32,
         Game::Game::Switch::kNoClear);
  toggle(StageCommand::kCounterReadout, "counter", "Show the bar counter on the stage", 546,
         Game::Game::Switch::kCounterReadout);
  toggle(StageCommand::kTimeReadout, "time", "Show the time on the stage", 644,
         Game::Game::Switch::kTimeReadout);
  // The automation switches are recorded, then toggle through the action's own effect.
  live(StageCommand::kAutoFades, "auto", "Automatic fades", 309, 20, ActionCode::kToggleAutoFades)
      ->setCheckable(true);
  live(StageCommand::kAutoLights, "auto", "Automatic lights", 413, 20,
       ActionCode::kToggleAutoLights)
      ->setCheckable(true);
  live(StageCommand::kAutoCrowd, "auto", "Automatic crowd sounds", 515, 20,
       ActionCode::kToggleAutoCrowd)
      ->setCheckable(true);
  live(StageCommand::kLighter, "fade-lighter", "Lighter", 281, 8, ActionCode::kFadeLighter);
  live(StageCommand::kDarker, "fade-darker", "Darker", 281, 32, ActionCode::kFadeDarker);
  add(StageCommand::kTransposeUp, "transpose-up", "Transpose up a semitone", 254, 20,
      [](Game::Game& g) { g.Transpose(1); });
  add(StageCommand::kTransposeDown, "transpose-down", "Transpose down a semitone", 254, 32,
      [](Game::Game& g) { g.Transpose(-1); });
  add(StageCommand::kReset, "reset", "Reset the switches, the mixer and the transposition", 752, 20,
      [](Game::Game& g) { g.ResetShow(); });

  transposeLabel = Place(new QLabel(QStringLiteral("0"), this), 231, 20, 251, 43);
  transposeLabel->setAlignment(Qt::AlignCenter);
  transposeLabel->setStyleSheet(QStringLiteral("color: rgb(245, 245, 245);"));
  transposeLabel->setToolTip(tr("Transposition in semitones"));

  stylePicker = Place(new QComboBox(this), 96, 12, 156, 52);
  stylePicker->setIconSize(QSize(48, 24));
  stylePicker->setToolTip(tr("Style of the stage"));
  connect(stylePicker, &QComboBox::activated, this, [this](int index) {
    if (game != nullptr) {
      game->SelectStyle(index);
    }
  });

  lightFrame =
      new L::RegionFrame(Skin("light-frame"), Skin("light-frame-disabled"), kLightRegions, this);
  lightFrame->move(331, 4);
  lightFrame->setToolTip(tr("Search lights, stage lights and the strobe"));
  connect(lightFrame, &L::RegionFrame::RegionClicked, this, [this](int region) {
    if (game != nullptr && kLightCodes[region] != ActionCode::kNone) {
      game->LiveAction(kLightCodes[region]);
    }
  });
  crowdFrame =
      new L::RegionFrame(Skin("crowd-frame"), Skin("crowd-frame-disabled"), kCrowdRegions, this);
  crowdFrame->move(433, 4);
  crowdFrame->setToolTip(tr("Crowd: bravo, applause, whistle, murmur, speech"));
  connect(crowdFrame, &L::RegionFrame::RegionClicked, this, [this](int region) {
    if (game != nullptr) {
      game->LiveAction(kCrowdCodes[region]);
    }
  });
}

void StageControls::Attach(Game::Game& attached, GameEvents& events) {
  game = &attached;
  stylePicker->clear();
  for (const std::string& styleName : game->StyleNames()) {
    const QString name = QString::fromStdString(styleName);
    const QPixmap picture(QStringLiteral("styles/%1/picture.png").arg(name.toLower()));
    stylePicker->addItem(picture.isNull() ? QIcon() : QIcon(picture), name);
  }
  connect(&events, &GameEvents::Changed, this, &StageControls::Refresh);
  Refresh(Game::Change::kSong);
}

L::ImageButton* StageControls::Button(StageCommand id) const {
  const auto found = buttons.find(id);
  return found == buttons.end() ? nullptr : found->second;
}

void StageControls::Refresh(Game::Change what) {
  if (what == Game::Change::kTransport) {
    return;
  }
  const Game::State& state = game->GetState();
  const std::pair<StageCommand, bool> toggles[] = {
      {StageCommand::kNoClear, state.noClear},
      {StageCommand::kCounterReadout, state.counterReadout},
      {StageCommand::kTimeReadout, state.timeReadout},
      {StageCommand::kAutoFades, state.autoFades},
      {StageCommand::kAutoLights, state.autoLights},
      {StageCommand::kAutoCrowd, state.autoCrowd}};
  for (const auto& [id, on] : toggles) {
    buttons.at(id)->setChecked(on);
  }
  buttons.at(StageCommand::kLighter)->setEnabled(!state.autoFades);
  buttons.at(StageCommand::kDarker)->setEnabled(!state.autoFades);
  lightFrame->setEnabled(!state.autoLights);
  crowdFrame->setEnabled(!state.autoCrowd);
  transposeLabel->setText(QString::number(game->Transposition()));
  const int style = game->CurrentStyleId();
  if (style >= 0 && style < stylePicker->count()) {
    stylePicker->setCurrentIndex(style);
  }
}

}  // namespace Kesh::GUI
