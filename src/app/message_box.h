// The message-box seam: how the core shows a message to the user. The program shows a dialog with
// the caption "Tavro"; headless runs log the text. Show is called on the user-interface thread,
// Notice on any thread; an implementation owns nothing of the core.
#pragma once

#include <string>

namespace Kesh::App {

constexpr const char* kCaption = "Tavro";

class IMessageBox {
 public:
  enum class Icon { kInformation, kWarning, kError };

  // Shows the text and returns when the user has acknowledged it (at once for headless runs).
  virtual void Show(const std::string& text, const std::string& caption, Icon icon) = 0;
  // A problem the show goes on with, shown without waiting for the user (the window's notice
  // line); by default written to the log.
  virtual void Notice(const std::string& text);

 protected:
  ~IMessageBox() = default;
};

// Writes each message to the log as "caption: text".
class LogMessageBox final : public IMessageBox {
 public:
  void Show(const std::string& text, const std::string& caption, Icon icon) override;
};

}  // namespace Kesh::App
