#include "splash.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace lorelist {

bool CSplashWnd::enabled_ = false;
CSplashWnd* CSplashWnd::current_ = nullptr;
QString CSplashWnd::picturePath_ = QStringLiteral(":/splash.png");

void CSplashWnd::EnableSplashScreen(bool enable) {
  enabled_ = enable;
}

void CSplashWnd::ShowSplashScreen(QWidget* parent) {
  if (!enabled_ || current_) return;
  QPixmap picture(picturePath_);
  if (picture.isNull()) return;  // no picture: nothing is shown, start-up goes on
  current_ = new CSplashWnd(picture, parent);
  current_->show();
  current_->repaint();
}

CSplashWnd::CSplashWnd(const QPixmap& picture, QWidget* owner)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(picture),
      timer_(this),
      owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  resize(picture_.size());
  // Centred on the owner while it is visible, otherwise on the screen.
  QRect area = owner_ && owner_->isVisible() ? owner_->frameGeometry()
                                             : QGuiApplication::primaryScreen()->geometry();
  move(area.center() - rect().center());
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, [] { HideSplashScreen(); });
  timer_.start(750);
}

CSplashWnd::~CSplashWnd() {
  if (current_ == this) current_ = nullptr;
}

void CSplashWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

bool CSplashWnd::PreTranslateAppMessage(const QEvent* event) {
  if (!current_) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
      HideSplashScreen();
      return true;
    default:
      return false;
  }
}

namespace {

class ApplicationHook : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The key or click that closes the splash then acts as usual.
    CSplashWnd::PreTranslateAppMessage(event);
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void CSplashWnd::InstallApplicationHook() {
  static ApplicationHook* hook = nullptr;
  if (hook || !QCoreApplication::instance()) return;
  hook = new ApplicationHook;
  hook->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(hook);
}

void CSplashWnd::HideSplashScreen() {
  CSplashWnd* splash = current_;
  if (!splash) return;
  current_ = nullptr;
  QWidget* owner = splash->owner_;
  splash->close();  // deletes it
  if (owner) owner->repaint();
}

}  // namespace lorelist
