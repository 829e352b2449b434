// MIDI outputs of the player: the built-in synthesizer (index 0) and the system's sequencer ports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/sequencer.h"
#include "tavro/player_module.h"

namespace Kesh::Audio {

class Output;

// Sound an output mixes under its music in real time (the crowd, held under the band).
class Underlay {
 public:
  virtual ~Underlay() = default;
  // The carrier's audio thread: adds frameCount frames of its sound to the music in left and
  // right (full scale 1), held under that music; does nothing unless carrier carries it now.
  // songPlaying: the song has notes still to play.
  virtual void MixUnder(const Output* carrier, float* left, float* right, int frameCount,
                        bool songPlaying) = 0;
};

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
  // Whether a song is playing with notes still to come: while it is, the output keeps its sound
  // device open through silence, so that a rest inside the song never costs the next note the
  // time a device takes to open, and an underlay is held under the music. Any thread.
  virtual void SetSongPlaying(bool playing) {}
  // Whether the output can mix an underlay into its sound in real time: the built-in synthesizer
  // with a sound device of its own.
  virtual bool CanCarry() const { return false; }
  // Mixes underlay into its sound from now on (null: nothing). Not on the audio thread.
  virtual void Carry(Underlay* underlay) {}
  // The underlay has sound to play: a device closed for silence opens again, without waiting for
  // it. Any thread but the audio thread.
  virtual void WakeSoon() {}
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
