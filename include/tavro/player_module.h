// The contract between the program and its player module ("audio.so"). The module exports
// "InterfaceQuery"; interface id 1 is the player object below. Operations are declared in their
// fixed slot order; slots 2 and 13 are reserved and never called. Operations the module adds for
// its own tools are appended after slot 26, never inserted.
#pragma once

#include <cstdint>

#include "tavro/song_data.h"
#include "tavro/stream.h"

namespace Kesh::Audio {

constexpr int32_t kPlayerInterfaceId = 1;

// What the built-in synthesizer made of its SoundFonts (GetSoundFontState, slot 31).
enum SoundFontState : int32_t {
  kSoundFontUnknown = 0,   // no synthesizer made yet
  kSoundFontLoaded = 1,    // the SoundFont asked for plays
  kSoundFontFallback = 2,  // it did not load; another one plays instead
  kSoundFontNone = 3,      // none loaded: the synthesizer is silent
};

// The crowd-sound sub-interface: forwards to the crowd engine's exports. Slots 3, 4 and 6 are
// reserved.
class ICrowd {
 public:
  virtual bool OpenCollection(const char* iniPath, const char* waveFolder) = 0;  // 0
  virtual bool StopAll() = 0;                                                    // 1
  virtual bool PlaySeries(const char* name, float volume) = 0;                   // 2
  virtual void Reserved3() {}                                                    // 3
  virtual void Reserved4() {}                                                    // 4
  virtual bool SetVolume(float left, float right) = 0;                           // 5
  virtual void Reserved6() {}                                                    // 6
  virtual bool Mute(bool mute) = 0;                                              // 7
  virtual bool IsMuted() = 0;                                                    // 8

 protected:
  ~ICrowd() = default;
};

class IPlayer {
 public:
  virtual void Release(int flags) = 0;                          // 0: destroys the object
  virtual bool SelectMidiOutput(int device, int reserved) = 0;  // 1
  virtual void Reserved2() {}                                   // 2
  virtual bool OpenStream(Vell::Data::File* stream) = 0;        // 3: at the song file's bytes
  virtual bool OpenFile(const char* path) = 0;                  // 4
  virtual void Play() = 0;                                      // 5
  virtual void Pause() = 0;                                     // 6
  virtual void Stop() = 0;                                      // 7
  virtual bool IsPlaying() = 0;                                 // 8
  virtual bool IsPaused() = 0;                                  // 9
  virtual int GetPositionMs() = 0;                              // 10
  virtual void GetTime(int64_t* elapsedMs) = 0;                 // 11
  virtual int GetPositionTicks() = 0;                           // 12
  virtual void Reserved13() {}                                  // 13
  virtual int GetMidiOutputCount() = 0;                         // 14
  virtual bool GetMidiOutputName(int index, char* buffer, int size) = 0;  // 15
  virtual int GetCounter() = 0;                                           // 16: current bar, from 1
  virtual void SetTranspose(int semitones) = 0;                           // 17: -12 ... 12
  virtual int GetTranspose() = 0;                                         // 18
  virtual int GetPan(int channel) = 0;                                    // 19: -64 ... 64
  virtual void SetPan(int channel, int pan) = 0;                          // 20
  virtual int GetVolume(int channel) = 0;               // 21: 0 ... 120, 100 neutral
  virtual void SetVolume(int channel, int volume) = 0;  // 22
  virtual void SetMute(int channel, bool mute) = 0;     // 23: true = silent
  virtual bool GetMute(int channel) = 0;                // 24
  virtual const SongData* GetSong() = 0;                // 25: until the next open
  virtual ICrowd* GetCrowd() = 0;                       // 26: the same object each time

  // Added operations.
  virtual const char* GetLastError() = 0;  // 27: why the last open failed ("" after success)
  // 28: true switches to a caller-driven clock (rendering without a sound device) with a fresh
  // built-in synthesizer and crowd scene at sampleRate (8000...192000); the song position is kept.
  // false returns to the wall clock and the selected output. False when the synthesizer cannot be
  // set up at that rate.
  virtual bool SetOffline(bool offline, int sampleRate) = 0;
  // 29: renders that span of sound into the module's buffer, each due event at its own sample;
  // the song position moves only while playing. False when not offline.
  virtual bool AdvanceOffline(int milliseconds) = 0;
  // 30: pulls up to frameCount rendered frames (16-bit interleaved stereo: synthesizer plus crowd
  // scene); returns the frames written, fewer when less has been rendered. Sound not pulled within
  // 60 s of rendering is dropped.
  virtual int RenderOffline(int16_t* frames, int frameCount) = 0;
  // 31: the built-in synthesizer's SoundFont, once the synthesizer has been made (the first Play,
  // SelectMidiOutput or SetOffline): a SoundFontState; text (size bytes, may be null) receives ""
  // when the SoundFont asked for loaded, else what failed and which SoundFont plays instead.
  virtual int GetSoundFontState(char* text, int size) {
    if (text != nullptr && size > 0) {
      *text = '\0';
    }
    return kSoundFontUnknown;
  }
  // 32: why the crowd-sound engine could not be loaded, once it was tried (text as above); false
  // when it loaded or was not tried yet.
  virtual bool GetCrowdEngineError(char* text, int size) {
    if (text != nullptr && size > 0) {
      *text = '\0';
    }
    return false;
  }
  // 33: the music's level in decibels relative to the built-in synthesizer's calibrated gain
  // (-40 ... 20; 0 is the calibration); kept across outputs, live and offline. False for a value
  // outside that range (nothing changes).
  virtual bool SetMusicGain(float decibels) = 0;

 protected:
  ~IPlayer() = default;
};

// Signature of the module export "InterfaceQuery".
using InterfaceQueryFn = void* (*)(int32_t id);

}  // namespace Kesh::Audio
