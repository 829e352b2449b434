#include "tools/inspect/show.h"

#include <cstdio>
#include <filesystem>

#include "app/message_box.h"
#include "app/window.h"
#include "framework/diagnostics.h"
#include "framework/exception.h"
#include "game/game.h"
#include "game/hub.h"
#include "game/player.h"
#include "game/show_plan.h"
#include "platform/platform.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace Kesh::Inspect {

namespace {

// The log goes to standard error so that standard output holds only the plan.
void ToStandardError(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

class NoWindow final : public App::IWindow {
 public:
  void Post(unsigned, uintptr_t, intptr_t) override {}
  bool Send(unsigned, uintptr_t, intptr_t, const std::atomic<bool>*) override { return true; }
};

// Keeps the last message for the error line.
class Messages final : public App::IMessageBox {
 public:
  void Show(const std::string& text, const std::string&, Icon) override { last = text; }
  std::string last;
};

int Fail(const std::string& message, int status) {
  std::fprintf(stderr, "tavro-inspect: %s\n", message.c_str());
  return status;
}

int Run(const ShowOptions& options) {
  std::error_code error;
  const std::string song = std::filesystem::absolute(options.song, error).string();
  if (!std::filesystem::is_regular_file(song, error)) {
    return Fail("cannot read the song " + options.song, 1);
  }
  std::string data = Hub::DataDirectory();
  if (data.empty()) {
    data = Vell::Platform::ProgramDirectory();
  }
  if (!Vell::Platform::SetCurrentDirectory(data)) {
    return Fail("cannot enter the data folder " + data, 2);
  }
  Hub* hub = nullptr;
  try {
    hub = Hub::Instance();
  } catch (const Vell::Exception& exception) {
    return Fail("The player module audio.so could not be loaded: " + exception.ToString(), 2);
  }
  hub->SetSaveProfileAtExit(false);
  if (hub->GetPlayer() == nullptr) {
    return Fail(hub->ModuleMissingMessage(), 2);
  }
  NoWindow window;
  Messages messages;
  hub->CreateGame({&window, nullptr, nullptr, nullptr, &messages}, 815, 400);
  Game::Game& game = *hub->GetGame();
  if (!options.style.empty()) {
    game.GetProfile().autoStyle = false;
  }
  if (!game.Open(song)) {
    return Fail(options.song + ": " + (messages.last.empty() ? "cannot be opened" : messages.last),
                1);
  }
  Game::Player& player = game.GetPlayer();
  if (!options.style.empty()) {
    Styles::Manager* styles = player.StyleManager();
    if (styles == nullptr || styles->FindByName(options.style)->GetId() < 0) {
      return Fail("no style named " + options.style, 1);
    }
    styles->SelectByName(options.style);
  }
  const Game::ShowPlan plan = Game::MakeShowPlan(player);
  const std::string text = options.json ? Game::ShowPlanJson(plan) : Game::ShowPlanText(plan);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int PrintShowPlan(const ShowOptions& options) {
  Vell::Diagnostics::SetSink(ToStandardError);
  const int status = Run(options);
  if (Hub::Exists()) {
    Hub::Destroy();
  }
  return status;
}

}  // namespace Kesh::Inspect
