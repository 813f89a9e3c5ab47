#pragma once

#include <QDialog>

namespace flash {

inline constexpr const char* kSupportMailAddress = "support@halvane-quillo.example";
inline constexpr const char* kUpdateSite = "https://www.halvane-quillo.example";

// The about box: the version text and build stamp given by its opener, and two
// buttons that hand a mail link and the update site to the desktop.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  AboutDialog(const QString& buildStamp, const QString& versionText, QWidget* parent);
};

}  // namespace flash
