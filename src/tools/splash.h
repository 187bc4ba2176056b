#pragma once

#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>

class QEvent;

namespace lorelist {

// The splash window: a picture centred on the screen from the end of the
// main window's creation until 750 ms have passed or a key or mouse button is
// pressed. The program carries no picture, so as built it shows nothing.
class CSplashWnd : public QWidget {
  Q_OBJECT

 public:
  static void EnableSplashScreen(bool enable);
  // Shows the splash if enabled, none is up and the picture loads.
  static void ShowSplashScreen(QWidget* parent);
  // Hides the splash on a key press or mouse-button press; true when it did.
  // The event then goes on as usual.
  static bool PreTranslateAppMessage(const QEvent* event);
  static void HideSplashScreen();
  // Offers every event of the application to PreTranslateAppMessage first.
  static void InstallApplicationHook();
  static CSplashWnd* Current() { return current_; }
  // Where the picture is looked for (a resource path by default).
  static void SetPicturePath(const QString& path) { picturePath_ = path; }

  ~CSplashWnd() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CSplashWnd(const QPixmap& picture, QWidget* owner);

  QPixmap picture_;
  QTimer timer_;
  QWidget* owner_;

  static bool enabled_;
  static CSplashWnd* current_;
  static QString picturePath_;
};

}  // namespace lorelist
