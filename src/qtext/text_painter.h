// Text drawn on our images through QtGui: QPainter on a QImage that wraps the image's pixels
// without a copy, fonts found through fontconfig ("Arial" resolves to Liberation Sans). Qt's font
// machinery needs a QGuiApplication: EnsureApplication makes one on the offscreen platform when the
// process has none (the headless renderer). Call from the thread that owns the application (the
// main thread); a painter keeps its fonts.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "gfx/text.h"

class QFont;

namespace Vell::QText {

// Creates a QGuiApplication on the offscreen platform unless the process already has an
// application; returns false with Qt's reason when none can be made.
[[nodiscard]] bool EnsureApplication(std::string* why = nullptr);

class TextPainter final : public Gfx::ITextPainter {
 public:
  TextPainter();
  ~TextPainter() override;
  TextPainter(const TextPainter&) = delete;
  TextPainter& operator=(const TextPainter&) = delete;

  void DrawText(Gfx::Image& image, int x, int y, const std::string& text,
                const Gfx::TextStyle& style) override;
  int TextWidth(const std::string& text, const Gfx::TextStyle& style) override;
  int LineHeight(const Gfx::TextStyle& style) override;

 private:
  const QFont& FontOf(const Gfx::TextStyle& style);

  std::map<std::pair<std::string, int>, std::unique_ptr<QFont>> fonts;
};

}  // namespace Vell::QText
