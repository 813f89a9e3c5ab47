#include "tests/app/gui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace flash::test {
namespace {

constexpr int kPollMs = 5;  // how often a waiting answer looks for its modal

}  // namespace

ModalAnswer::ModalAnswer(Match match, Action action, int timeoutMs) {
  auto timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  auto answered = answered_;
  auto cancelled = cancelled_;
  QObject::connect(timer, &QTimer::timeout, timer, [=] {
    if (*cancelled) {
      timer->deleteLater();
      return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && match(modal)) {
      timer->stop();
      timer->deleteLater();
      *answered = true;
      action(modal);
      return;
    }
    if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      if (modal) {
        ADD_FAILURE() << "an unexpected modal window was open: "
                      << modal->windowTitle().toStdString();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        else modal->close();
      }
    }
  });
  timer->start(kPollMs);
}

ModalAnswer::~ModalAnswer() { *cancelled_ = true; }

void ClickButton(QWidget* dialog, const QString& nameOrText) {
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    if (button->objectName() == nameOrText || button->text().remove(QLatin1Char('&')) == nameOrText) {
      button->click();
      return;
    }
  }
  ADD_FAILURE() << "no button " << nameOrText.toStdString() << " in "
                << dialog->windowTitle().toStdString();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  // QTest::qWaitFor sleeps 10 ms between looks, which would slow every exchange
  // with the radio; this loop sleeps only while no event is due.
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.start(kPollMs);
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void AppTest::SetUp() {
  work_ = std::make_unique<QTemporaryDir>();
  ASSERT_TRUE(work_->isValid());
  previousDir_ = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(work_->path()));
}

void AppTest::TearDown() {
  EndApp();
  QDir::setCurrent(previousDir_);
  work_.reset();
}

MainWindow& AppTest::StartApp(std::vector<std::string> args) {
  objects_ = std::make_unique<ProcessObjects>(std::move(args));
  EXPECT_TRUE(objects_->updateApp.Start());
  window_ = objects_->updateApp.mainWindow();
  return *window_;
}

void AppTest::EndApp() {
  window_ = nullptr;
  objects_.reset();
}

std::string AppTest::WorkFile(const std::string& name) const {
  return work_->filePath(QString::fromStdString(name)).toStdString();
}

void AppTest::WriteWorkFile(const std::string& name, const std::string& content) const {
  QFile file(QString::fromStdString(WorkFile(name)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content.data(), static_cast<qint64>(content.size()));
}

std::string AppTest::ReadWorkFile(const std::string& name) const {
  QFile file(QString::fromStdString(WorkFile(name)));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

}  // namespace flash::test
