#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace lorelist {

// A caption pane: a coloured strip with white text above a content pane. It
// takes no input and never becomes the active pane.
class CTitle : public QWidget {
  Q_OBJECT

 public:
  explicit CTitle(QWidget* parent = nullptr);
  void SetTitle(const QString& text, const QColor& colour);
  QString Text() const { return text_; }
  QColor Colour() const { return colour_; }
  // The height of every caption row: the default font's text height.
  static int CaptionHeight();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  QColor colour_;
};

}  // namespace lorelist
