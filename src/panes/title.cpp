#include "title.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace lorelist {

CTitle::CTitle(QWidget* parent) : QWidget(parent) {
  setEnabled(false);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Captions keep the default font, whatever font the panes get.
  setFont(QApplication::font());
}

void CTitle::SetTitle(const QString& text, const QColor& colour) {
  text_ = text;
  colour_ = colour;
  update();
}

int CTitle::CaptionHeight() {
  return QFontMetrics(QApplication::font()).height();
}

void CTitle::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), colour_);
  painter.setPen(Qt::white);
  painter.setFont(font());
  painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text_);
}

}  // namespace lorelist
