// MIDI outputs of the player: the built-in synthesizer (index 0) and the system's sequencer ports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/sequencer.h"
#include "tavro/player_module.h"

namespace Kesh::Audio {

class Output : public MidiSink {
 public:
  // Offline rendering: interleaved 16-bit stereo at the rate the output was made for. Outputs that
  // cannot render write nothing and return false.
  virtual bool Render(int16_t* frames, int frameCount) { return false; }
  // What the output made of its SoundFonts (a SoundFontState), with a note unless the one asked
  // for loaded. Outputs without a SoundFont answer kSoundFontUnknown.
  virtual int SoundFontState(std::string* note) const { return kSoundFontUnknown; }
  // The music's level in decibels against the calibrated gain; outputs whose level is not ours
  // (MIDI ports) ignore it.
  virtual void SetGain(float decibels) {}
  // Playback is about to start: an output that closed its sound device while silent opens it
  // again, and waits for it (at most a moment), so the first notes sound at their time. Never
  // under the player's lock.
  virtual void Wake() {}
  // Whether a song is playing: while it is, the output keeps its sound device open through
  // silence, so that a rest inside the song never costs the next note the time a device takes to
  // open. Any thread.
  virtual void SetSongPlaying(bool playing) {}
};

// Lists and opens the outputs. Index 0 is always the built-in synthesizer.
class OutputProvider {
 public:
  virtual ~OutputProvider() = default;
  virtual std::vector<std::string> List() = 0;
  // A real-time output; null when it cannot be opened.
  virtual std::unique_ptr<Output> Open(int index) = 0;
  // The built-in synthesizer without a sound device, rendered by the caller at sampleRate.
  virtual std::unique_ptr<Output> OpenOffline(int sampleRate) = 0;
};

// The synthesizer with a General MIDI SoundFont and the ALSA sequencer ports.
std::unique_ptr<OutputProvider> MakeSystemOutputs();

// The SoundFont the built-in synthesizer asks for first: $TAVRO_SOUNDFONT, else FluidR3_GM, else
// TimGM6mb; empty when none of them exists. The synthesizer goes on down that list to the first
// one that really loads.
std::string FindSoundFont();

}  // namespace Kesh::Audio
