// The main window under Qt's offscreen platform against a player module that records its calls:
// the fixture every window test starts from (a window, a game attached to it, a song file).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fakes.h"
#include "game/game.h"
#include "gui/mainframe.h"
#include "songs.h"

namespace GuiTest {

using Kesh::GUI::Mainframe;

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A module with a transposition, outputs and a crowd that keep what they are told.
class Module : public Fakes::Module {
 public:
  class Crowd : public Kesh::Audio::ICrowd {
   public:
    bool OpenCollection(const char*, const char*) override { return true; }
    bool StopAll() override { return true; }
    bool PlaySeries(const char* name, float) override {
      series.push_back(name);
      return true;
    }
    bool SetVolume(float l, float r) override {
      left = l;
      right = r;
      return true;
    }
    bool Mute(bool m) override {
      muted = m;
      return true;
    }
    bool IsMuted() override { return muted; }
    float left = 1, right = 1;
    bool muted = false;
    std::vector<std::string> series;
  };
  void SetTranspose(int semitones) override { transpose = semitones; }
  int GetTranspose() override { return transpose; }
  int GetMidiOutputCount() override { return static_cast<int>(outputNames.size()); }
  bool GetMidiOutputName(int index, char* buffer, int size) override {
    if (index < 0 || index >= GetMidiOutputCount()) {
      return false;
    }
    std::snprintf(buffer, static_cast<size_t>(size), "%s",
                  outputNames[static_cast<size_t>(index)].c_str());
    return true;
  }
  std::vector<std::string> outputNames{"Output 0", "Output 1"};
  bool SelectMidiOutput(int device, int) override {
    selected.push_back(device);
    return outputWorks;
  }
  void SetPan(int channel, int pan) override { pans[channel] = pan; }
  int GetPan(int channel) override { return pans[channel]; }
  void SetVolume(int channel, int volume) override { volumes[channel] = volume; }
  int GetVolume(int channel) override { return volumes[channel]; }
  void SetMute(int channel, bool mute) override { mutes[channel] = mute; }
  bool GetMute(int channel) override { return mutes[channel]; }
  Kesh::Audio::ICrowd* GetCrowd() override { return &crowd; }
  int GetSoundFontState(char* text, int size) override {
    std::snprintf(text, static_cast<size_t>(size), "%s", soundFontNote.c_str());
    return soundFontState;
  }

  int soundFontState = Kesh::Audio::kSoundFontUnknown;
  std::string soundFontNote;

  int transpose = 0;
  bool outputWorks = true;
  std::vector<int> selected;
  int pans[16] = {};
  int volumes[16] = {};
  bool mutes[16] = {};
  Crowd crowd;
};

class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    module.song = Songs::Band();
    window = std::make_unique<Mainframe>(
        Mainframe::Core{&module, &loadMutex, &frameLock, folder.Root()});
    Kesh::Game::Game::Services services;
    services.module = &module;
    services.loadMutex = &loadMutex;
    services.frameLock = &frameLock;
    services.frontEnd = window->GetFrontEnd();
    if (!windowMessages) {
      services.frontEnd.messages = &messages;  // else the window's boxes and notices
    }
    game = std::make_unique<Kesh::Game::Game>(std::move(services), 815, 400);
    window->AttachGame(game.get());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    std::ofstream(folder.Path("song.mid")) << "MThd";
  }
  void TearDown() override {
    game->RequestStop();
    game.reset();
    window.reset();
  }
  void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
  void Open() {
    window->OpenFiles({QString::fromStdString(folder.Path("song.mid"))});
    ASSERT_TRUE(game->GetState().running);
  }
  // Lets the frame thread run (its paint requests are answered by this thread's event loop).
  static void Frames(int milliseconds) { QTest::qWait(milliseconds); }

  // Whether the game's messages go through the window (as in the program) or to `messages`.
  bool windowMessages = false;
  Songs::Folder folder;
  Module module;
  Fakes::MessageBox messages;
  std::timed_mutex loadMutex;
  std::recursive_mutex frameLock;
  std::unique_ptr<Mainframe> window;
  std::unique_ptr<Kesh::Game::Game> game;
};

}  // namespace GuiTest
