#include "shell/theme.h"

#include <QApplication>
#include <QToolTip>

namespace strixc::shell::theme {

QPalette DarkPalette(QPalette palette) {
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase,
                                   QPalette::Button, QPalette::ToolTipBase}) {
    palette.setColor(role, kBackground);
  }
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                   QPalette::ToolTipText}) {
    palette.setColor(role, kText);
  }
  palette.setColor(QPalette::Highlight, kOutline);
  palette.setColor(QPalette::HighlightedText, Qt::white);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, kOutline);
  }
  return palette;
}

void ApplyProgramTheme() {
  QPalette palette = DarkPalette(QApplication::palette());
  // The styles draw frames, separators and bevels of menus and lists from these: shades of the
  // background, never the light desktop's.
  palette.setColor(QPalette::Light, kBackground.lighter(135));
  palette.setColor(QPalette::Midlight, kBackground.lighter(115));
  palette.setColor(QPalette::Mid, kBackground.darker(125));
  palette.setColor(QPalette::Dark, kBackground.darker(150));
  palette.setColor(QPalette::Shadow, kBackground.darker(250));
  palette.setColor(QPalette::BrightText, Qt::white);
  palette.setColor(QPalette::PlaceholderText, kOutline);
  palette.setColor(QPalette::Link, kText);
  QApplication::setPalette(palette);
  QToolTip::setPalette(palette);
}

}  // namespace strixc::shell::theme
