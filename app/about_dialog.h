#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace flash {

inline constexpr const char* kSupportMailAddress = "support@halvane-quillo.example";
inline constexpr const char* kUpdateSite = "https://www.halvane-quillo.example";

// The about box: the version text and build stamp given by its opener, and two
// buttons that hand a mail link and the update site to the desktop.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  using LinkOpener = std::function<void(const QUrl&)>;

  AboutDialog(const QString& buildStamp, const QString& versionText, QWidget* parent);

  // How links reach the desktop; tests replace it. The desktop's answer is not looked at.
  static void SetLinkOpener(LinkOpener opener);

  QString versionText() const;
  QString buildStamp() const;
  QPushButton* mailButton() const { return mail_; }
  QPushButton* webButton() const { return web_; }
  QPushButton* closeButton() const { return close_; }

 private:
  QLabel* version_ = nullptr;
  QLabel* stamp_ = nullptr;
  QPushButton* mail_ = nullptr;
  QPushButton* web_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace flash
