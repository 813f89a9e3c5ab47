#include "app/about_dialog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/dialog_look.h"
#include "app/program_icons.h"

namespace flash {
namespace {

QLabel* CentredText(const QString& text, const QRect& where, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(where);
  return label;
}

QString SiteName() {
  return QUrl(QString::fromLatin1(kUpdateSite)).host();
}

}  // namespace

AboutDialog::AboutDialog(const QString& buildStamp, const QString& versionText, QWidget* parent)
    : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle(QStringLiteral("Flash Loader"));
  setObjectName(QStringLiteral("AboutDialog124"));
  const DialogUnits du = PrepareDialog(*this, 173, 153);

  const int iconSize = du.Y(20);
  for (int x : {7, 173 - 7 - 21}) {
    auto* icon = new QLabel(this);
    icon->setPixmap(RedDotPixmap(iconSize));
    icon->setGeometry(du.X(x), du.Y(7), iconSize, iconSize);
  }
  CentredText(QStringLiteral("Halvane"), du.Rect(30, 10, 113, 9), this);
  CentredText(QStringLiteral("Quillo II ROM Loader"), du.Rect(30, 22, 113, 9), this);
  CentredText(versionText, du.Rect(7, 42, 159, 9), this);
  CentredText(buildStamp, du.Rect(7, 54, 159, 9), this);
  CentredText(QStringLiteral("Halvane Inc."), du.Rect(7, 66, 159, 9), this);

  // The desktop's answer to a link is not looked at.
  auto* mail =
      new QPushButton(QStringLiteral("email: ") + QString::fromLatin1(kSupportMailAddress), this);
  mail->setObjectName(QStringLiteral("mail"));
  mail->setAutoDefault(false);
  mail->setGeometry(du.Rect(12, 84, 149, 14));
  connect(mail, &QPushButton::clicked, this, [] {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") +
                                   QString::fromLatin1(kSupportMailAddress) +
                                   QStringLiteral("?subject=Flash Update Support")));
  });

  auto* web = new QPushButton(QStringLiteral("Updates: ") + SiteName(), this);
  web->setObjectName(QStringLiteral("web"));
  web->setAutoDefault(false);
  web->setGeometry(du.Rect(12, 104, 149, 14));
  connect(web, &QPushButton::clicked, this,
          [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kUpdateSite))); });

  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  close->setGeometry(du.Rect(61, 130, 50, 14));
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  close->setFocus();
}

}  // namespace flash
