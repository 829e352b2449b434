// The numbers that name what a user does: the codes of the actions recorded on the timeline (stored
// in project files) and the ids of the window's buttons and controls. Any thread; owns nothing.
#pragma once

#include <cstdint>

namespace Kesh::Game {

// What a recorded action does when the show replays it. The values are stored in project files.
enum class ActionCode : int32_t {
  kNone = 0,  // a control without an action; never stored
  kFadeDarker = 1,
  kFadeLighter = 2,
  kToggleAutoFades = 3,
  kStrobe = 4,
  kLeftStageLights = 5,
  kCentreStageLights = 6,
  kRightStageLights = 7,
  kSearchLight0 = 8,
  kSearchLight1 = 9,
  kSearchLight2 = 10,
  kToggleAutoLights = 11,
  kWhistle = 12,
  kBravo = 13,
  kNoise = 14,
  kApplause = 15,
  kSpeech = 16,
  kToggleAutoCrowd = 17,
};

// The actions that flip one of the automation switches rather than showing an effect.
constexpr bool TogglesSwitch(ActionCode code) {
  return code == ActionCode::kToggleAutoFades || code == ActionCode::kToggleAutoLights ||
         code == ActionCode::kToggleAutoCrowd;
}

// The tool bar's buttons.
enum class ToolCommand : int { kOpen = 100, kSave = 101, kSettings = 102, kHelp = 103 };

// The transport's buttons.
enum class TransportCommand : int {
  kKaraokeView = 100,
  kMixerView = 101,
  kRecord = 102,
  kPrevious = 103,
  kPlay = 104,
  kStop = 105,
  kPause = 106,
  kNext = 107,
  kLoop = 108,
  kAbout = 120,
  kPlaylistView = 121,
};

// The stage controls under the stage.
enum class StageCommand : int {
  kCounterReadout = 100,
  kTimeReadout = 101,
  kReset = 102,
  kNoClear = 103,
  kStyles = 104,
  kAutoFades = 105,
  kLighter = 106,
  kDarker = 107,
  kAutoLights = 108,
  kLightFrame = 109,
  kAutoCrowd = 110,
  kCrowdFrame = 111,
  kTransposeUp = 112,
  kTransposeDown = 113,
  kTransposition = 114,
};

}  // namespace Kesh::Game
