// The skin's pictures and the panels' colour and placement, shared by the window's panels. GUI
// thread only.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace Kesh::GUI {

constexpr QRgb kPanelColour = 0xFF313A3A;  // RGB(49, 58, 58)

// A picture of the skin compiled into the program.
inline QPixmap Skin(const QString& name) {
  return QPixmap(QStringLiteral(":/skin/%1.png").arg(name));
}

// Fills the widget with a plain colour.
inline void SetPanel(QWidget* widget, QRgb colour = kPanelColour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, QColor::fromRgba(colour));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// A child at the rectangle (left, top, right, bottom) of its parent.
template <typename W>
W* Place(W* widget, int left, int top, int right, int bottom) {
  widget->setGeometry(left, top, right - left, bottom - top);
  return widget;
}

}  // namespace Kesh::GUI
