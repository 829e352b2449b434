// Test doubles for the game: a player module that records every call and keeps a clock of its
// own, a window that counts what it is sent, a message box that keeps the texts, and songs built
// in memory.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/message_box.h"
#include "app/window.h"
#include "tavro/player_module.h"

namespace Fakes {

class Crowd : public Kesh::Audio::ICrowd {
 public:
  explicit Crowd(std::vector<std::string>& calls, std::mutex& lock) : calls(calls), lock(lock) {}
  bool OpenCollection(const char*, const char*) override { return Record("OpenCollection"); }
  bool StopAll() override { return Record("StopAll"); }
  bool PlaySeries(const char* name, float volume) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      volumes.push_back(volume);
    }
    return Record(std::string("PlaySeries ") + name);
  }
  bool SetVolume(float, float) override { return Record("SetVolume"); }
  bool Mute(bool) override { return Record("Mute"); }
  bool IsMuted() override { return false; }

  std::vector<float> volumes;  // of every PlaySeries, in order (under the lock)

 private:
  bool Record(const std::string& call) {
    std::lock_guard<std::mutex> guard(lock);
    calls.push_back("crowd " + call);
    return true;
  }
  std::vector<std::string>& calls;
  std::mutex& lock;
};

// Records Play, Pause, Stop, OpenFile ... in order. Its position runs on the wall clock while
// playing unless the test sets it by hand (manualClock).
class Module : public Kesh::Audio::IPlayer {
 public:
  using Clock = std::chrono::steady_clock;

  Kesh::Audio::SongData song;
  bool accept = true;
  std::string refusal = "not a MIDI file";
  std::atomic<bool> manualClock{false};
  std::atomic<int> manualMs{0};

  void Release(int) override { Record("Release"); }
  bool SelectMidiOutput(int, int) override { return true; }
  bool OpenStream(Vell::Data::File*) override {
    Record("OpenStream");
    return accept;
  }
  bool OpenFile(const char* path) override {
    Record(std::string("OpenFile ") + path);
    Stop(false);
    return accept;
  }
  void Play() override {
    Record("Play");
    std::lock_guard<std::mutex> guard(clockLock);
    if (!playing) {
      playing = true;
      started = Clock::now();
    }
  }
  void Pause() override {
    Record("Pause");
    std::lock_guard<std::mutex> guard(clockLock);
    if (playing) {
      baseMs += Elapsed();
      playing = false;
    }
  }
  void Stop() override { Stop(true); }
  bool IsPlaying() override {
    std::lock_guard<std::mutex> guard(clockLock);
    return playing;
  }
  bool IsPaused() override { return false; }
  int GetPositionMs() override {
    if (manualClock) {
      return manualMs;
    }
    std::lock_guard<std::mutex> guard(clockLock);
    return static_cast<int>(baseMs + (playing ? Elapsed() : 0));
  }
  void GetTime(int64_t* ms) override { *ms = GetPositionMs(); }
  int GetPositionTicks() override { return ticks; }
  int GetMidiOutputCount() override { return 0; }
  bool GetMidiOutputName(int, char*, int) override { return false; }
  int GetCounter() override { return 1; }
  void SetTranspose(int) override {}
  int GetTranspose() override { return 0; }
  int GetPan(int) override { return 0; }
  void SetPan(int, int) override {}
  int GetVolume(int) override { return 100; }
  void SetVolume(int, int) override {}
  void SetMute(int, bool) override {}
  bool GetMute(int) override { return false; }
  const Kesh::Audio::SongData* GetSong() override { return &song; }
  Kesh::Audio::ICrowd* GetCrowd() override { return &crowd; }
  const char* GetLastError() override { return accept ? "" : refusal.c_str(); }
  bool SetOffline(bool, int) override { return false; }
  bool AdvanceOffline(int) override { return false; }
  int RenderOffline(int16_t*, int) override { return 0; }
  bool SetMusicGain(float) override { return true; }

  std::atomic<int> ticks{0};

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
  }
  // The calls among Play, Pause and Stop, in order.
  std::vector<std::string> Transport() {
    std::vector<std::string> found;
    for (const std::string& call : Calls()) {
      if (call == "Play" || call == "Pause" || call == "Stop") {
        found.push_back(call);
      }
    }
    return found;
  }
  void ClearCalls() {
    std::lock_guard<std::mutex> guard(lock);
    calls.clear();
  }
  size_t Count(const std::string& call) {
    const std::vector<std::string> all = Calls();
    return static_cast<size_t>(std::count(all.begin(), all.end(), call));
  }

 private:
  void Stop(bool record) {
    if (record) {
      Record("Stop");
    }
    std::lock_guard<std::mutex> guard(clockLock);
    playing = false;
    baseMs = 0;
    manualMs = 0;
  }
  int64_t Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
  }
  void Record(const std::string& call) {
    std::lock_guard<std::mutex> guard(lock);
    calls.push_back(call);
  }

  std::mutex lock;
  std::vector<std::string> calls;
  Crowd crowd{calls, lock};
  std::mutex clockLock;
  bool playing = false;
  int64_t baseMs = 0;
  Clock::time_point started;
};

// Counts paint requests by marker; Send can be made to wait until the request is abandoned, as a
// window thread that is itself waiting for the frame thread would.
class Window : public Kesh::App::IWindow {
 public:
  std::atomic<int> newFrames{0};
  std::atomic<int> pausedFrames{0};
  std::atomic<int> songEnds{0};
  std::atomic<int> other{0};
  std::atomic<bool> blockSends{false};

  void Post(unsigned message, uintptr_t first, intptr_t) override { Count(message, first); }
  bool Send(unsigned message, uintptr_t first, intptr_t,
            const std::atomic<bool>* abandon) override {
    while (blockSends && !(abandon != nullptr && *abandon)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (blockSends) {
      return false;
    }
    Count(message, first);
    return true;
  }

 private:
  void Count(unsigned message, uintptr_t first) {
    if (message == Kesh::App::kSongEndMessage) {
      ++songEnds;
    } else if (message == Kesh::App::kPaintMessage && first == Kesh::App::kNewFrameMarker) {
      ++newFrames;
    } else if (message == Kesh::App::kPaintMessage && first == Kesh::App::kPausedFrameMarker) {
      ++pausedFrames;
    } else {
      ++other;
    }
  }
};

class MessageBox : public Kesh::App::IMessageBox {
 public:
  void Show(const std::string& text, const std::string& caption, Icon) override {
    std::lock_guard<std::mutex> guard(lock);
    texts.push_back(caption + ": " + text);
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> guard(lock);
    return texts;
  }

 private:
  std::mutex lock;
  std::vector<std::string> texts;
};

}  // namespace Fakes
