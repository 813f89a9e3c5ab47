#pragma once

#include <QImage>
#include <QWidget>

class QPlainTextEdit;

namespace flash {

class StatusPanes;

// The window's client area: its background with the start-up picture, the
// output pane above the status bar, and the status bar along the bottom.
class ClientArea : public QWidget {
  Q_OBJECT
 public:
  explicit ClientArea(QWidget* parent);

  void SetChildren(QPlainTextEdit* outputPane, StatusPanes* statusBar);
  void SetSplash(const QImage& picture);
  // The picture goes for good when the first operation begins.
  void HideSplash();
  bool splashShown() const { return splashShown_; }
  const QImage& splash() const { return splash_; }
  // Where the picture's top-left corner lies, negative when the area is smaller.
  QPoint SplashOrigin() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage splash_;
  bool splashShown_ = false;
  QPlainTextEdit* outputPane_ = nullptr;
  StatusPanes* statusBar_ = nullptr;
};

}  // namespace flash
