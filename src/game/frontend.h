// What the game needs of the front end: the windows it repaints and messages, and the message-box
// service. Set once when the game is created, on the user-interface thread; the front end owns the
// objects and keeps them alive as long as the game. Any of the windows may be null (not shown).
#pragma once

#include "app/message_box.h"
#include "app/window.h"

namespace Kesh {

struct FrontEnd {
  App::IWindow* mainWindow = nullptr;  // receives the end-of-song message
  App::IWindow* stage = nullptr;       // painted synchronously every frame
  App::IWindow* karaoke = nullptr;
  App::IWindow* timeline = nullptr;
  App::IMessageBox* messages = nullptr;  // null: messages go to the log
};

}  // namespace Kesh
