#include "app/about_dialog.h"

#include <QBoxLayout>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/dialog_look.h"
#include "app/program_icons.h"

namespace flash {
namespace {

QLabel* CentredText(const QString& text) {
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

QLabel* RedDot() {
  auto* icon = new QLabel;
  icon->setPixmap(RedDotPixmap(2 * QFontMetrics(DialogFont()).height()));
  return icon;
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
  // The two titles between the program's icons, in its top corners.
  auto* titles = new QVBoxLayout;
  titles->addWidget(CentredText(QStringLiteral("Halvane")));
  titles->addWidget(CentredText(QStringLiteral("Quillo II ROM Loader")));
  auto* top = new QHBoxLayout;
  top->addWidget(RedDot(), 0, Qt::AlignTop);
  top->addLayout(titles, 1);
  top->addWidget(RedDot(), 0, Qt::AlignTop);
  auto* content = new QVBoxLayout;
  content->addLayout(top);
  content->addSpacing(fontMetrics().height());
  content->addWidget(CentredText(versionText));
  content->addWidget(CentredText(buildStamp));
  content->addWidget(CentredText(QStringLiteral("Halvane Inc.")));
  content->addSpacing(fontMetrics().height());

  // The desktop's answer to a link is not looked at.
  auto* mail =
      new QPushButton(QStringLiteral("email: ") + QString::fromLatin1(kSupportMailAddress));
  mail->setObjectName(QStringLiteral("mail"));
  mail->setAutoDefault(false);
  content->addWidget(mail);
  connect(mail, &QPushButton::clicked, this, [] {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") +
                                   QString::fromLatin1(kSupportMailAddress) +
                                   QStringLiteral("?subject=Flash Update Support")));
  });

  auto* web = new QPushButton(QStringLiteral("Updates: ") + SiteName());
  web->setObjectName(QStringLiteral("web"));
  web->setAutoDefault(false);
  content->addWidget(web);
  connect(web, &QPushButton::clicked, this,
          [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kUpdateSite))); });

  auto* close = new QPushButton(QStringLiteral("Close"));
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  buttons->addStretch(1);
  LayOutDialog(*this, content, buttons);
  close->setFocus();
}

}  // namespace flash
