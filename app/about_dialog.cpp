#include "app/about_dialog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>

#include <utility>

#include "app/dialog_look.h"
#include "app/program_icons.h"

namespace flash {
namespace {

AboutDialog::LinkOpener& Opener() {
  static AboutDialog::LinkOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  return opener;
}

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

void AboutDialog::SetLinkOpener(LinkOpener opener) { Opener() = std::move(opener); }

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
  version_ = CentredText(versionText, du.Rect(7, 42, 159, 9), this);
  version_->setObjectName(QStringLiteral("version"));
  stamp_ = CentredText(buildStamp, du.Rect(7, 54, 159, 9), this);
  stamp_->setObjectName(QStringLiteral("buildStamp"));
  CentredText(QStringLiteral("Halvane Inc."), du.Rect(7, 66, 159, 9), this);

  mail_ = new QPushButton(QStringLiteral("email: ") + QString::fromLatin1(kSupportMailAddress),
                          this);
  mail_->setObjectName(QStringLiteral("mail"));
  mail_->setAutoDefault(false);
  mail_->setGeometry(du.Rect(12, 84, 149, 14));
  connect(mail_, &QPushButton::clicked, this, [] {
    Opener()(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kSupportMailAddress) +
                  QStringLiteral("?subject=Flash Update Support")));
  });

  web_ = new QPushButton(QStringLiteral("Updates: ") + SiteName(), this);
  web_->setObjectName(QStringLiteral("web"));
  web_->setAutoDefault(false);
  web_->setGeometry(du.Rect(12, 104, 149, 14));
  connect(web_, &QPushButton::clicked, this,
          [] { Opener()(QUrl(QString::fromLatin1(kUpdateSite))); });

  close_ = new QPushButton(QStringLiteral("Close"), this);
  close_->setObjectName(QStringLiteral("close"));
  close_->setDefault(true);
  close_->setGeometry(du.Rect(61, 130, 50, 14));
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  close_->setFocus();
}

QString AboutDialog::versionText() const { return version_->text(); }

QString AboutDialog::buildStamp() const { return stamp_->text(); }

}  // namespace flash
