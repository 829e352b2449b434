#include "qtext/text_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <clocale>

namespace Vell::QText {

bool EnsureApplication(std::string* why) {
  if (QCoreApplication::instance() != nullptr) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
      if (why != nullptr) {
        *why = "text needs a QGuiApplication, and the process has a plain QCoreApplication";
      }
      return false;
    }
    return true;
  }
  // Lives until the process ends: Qt's font database belongs to it.
  static int argc = 3;
  static char name[] = "tavro";
  static char option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  static QGuiApplication* application = new QGuiApplication(argc, argv);
  (void)application;
  // Qt takes the user's locale for the C library too; numbers in our files and logs keep the dot.
  std::setlocale(LC_NUMERIC, "C");
  return true;
}

TextPainter::TextPainter() = default;
TextPainter::~TextPainter() = default;

const QFont& TextPainter::FontOf(const Gfx::TextStyle& style) {
  std::unique_ptr<QFont>& font = fonts[{style.family, style.pixelSize}];
  if (!font) {
    font = std::make_unique<QFont>(QString::fromStdString(style.family));
    font->setPixelSize(std::max(1, style.pixelSize));
    font->setWeight(QFont::Normal);
    font->setStyleStrategy(QFont::PreferAntialias);
  }
  return *font;
}

void TextPainter::DrawText(Gfx::Image& image, int x, int y, const std::string& text,
                           const Gfx::TextStyle& style) {
  if (image.Empty() || text.empty()) {
    return;
  }
  QImage target(reinterpret_cast<uchar*>(image.Pixels()), image.Width(), image.Height(),
                QImage::Format_ARGB32);
  {
    QPainter painter(&target);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont& font = FontOf(style);
    painter.setFont(font);
    painter.setPen(QColor::fromRgba(style.colour));
    painter.drawText(x, y + QFontMetrics(font).ascent(),
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  image.Changed();
}

int TextPainter::TextWidth(const std::string& text, const Gfx::TextStyle& style) {
  return QFontMetrics(FontOf(style))
      .horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int TextPainter::LineHeight(const Gfx::TextStyle& style) {
  return QFontMetrics(FontOf(style)).height();
}

}  // namespace Vell::QText
