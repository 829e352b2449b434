// The first of tavro-render's two passes: the song's music alone, played through on the player
// module's offline clock and measured, so that the video's pass can bring it to a target loudness.
// Called on tavro-render's one thread, before the show runs.
#pragma once

#include <cstdint>
#include <string>

namespace Kesh::Audio {
class IPlayer;
}

namespace Kesh::Render {

// Plays the song the module has open from its start and measures the integrated loudness (LUFS)
// of its music from fromMs to toMs (song time; toMs is held to the song's end plus its release),
// then stops and rewinds the module and lets the synthesizer fall silent, leaving nothing
// buffered. The loudness is that of the music at the calibrated gain (measured below it, out of
// the limiter's reach); the music gain is left at 0 dB. The module must be offline at sampleRate.
// False with the reason when that span is silent or the module does not render.
[[nodiscard]] bool MeasureMusic(Audio::IPlayer& module, int sampleRate, int64_t songMs,
                                int64_t fromMs, int64_t toMs, double& lufs,
                                std::string* why = nullptr);

// The gain in decibels that brings music measured at lufs to target, within what the module
// takes.
float NormalisingGain(double lufs, double target);

}  // namespace Kesh::Render
