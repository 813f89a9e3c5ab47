#include "tests/app/gui_test_support.h"

#include <QApplication>
#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "app/result_dialog.h"
#include "sim/memory_image.h"

namespace flash::test {
namespace {

constexpr int kPollMs = 1;

}  // namespace

ModalAnswer::ModalAnswer(std::function<bool(QWidget*)> take, int timeoutMs) {
  auto* timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, timer, [=, answered = answered_, cancelled = cancelled_] {
    QWidget* modal = *cancelled ? nullptr : QApplication::activeModalWidget();
    if (modal && take(modal)) {
      *answered = true;
    } else if (!*cancelled && clock->elapsed() <= timeoutMs) {
      return;
    } else if (modal) {
      ADD_FAILURE() << "an unexpected modal window was open: " << modal->windowTitle().toStdString();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    }
    timer->stop();
    timer->deleteLater();
  });
  timer->start(kPollMs);
}

QPalette DarkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(40, 40, 44));
  p.setColor(QPalette::WindowText, QColor(230, 230, 230));
  p.setColor(QPalette::Base, QColor(28, 28, 30));
  p.setColor(QPalette::Text, QColor(230, 230, 230));
  p.setColor(QPalette::Button, QColor(56, 56, 60));
  p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  return p;
}

MessageLog::MessageLog(std::function<void(QWidget*)> onOpen) : timer_(new QTimer(qApp)) {
  QObject::connect(timer_, &QTimer::timeout, timer_, [onOpen, seen = seen_] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      *seen << box->windowTitle() + QStringLiteral(": ") + box->text();
      if (onOpen) onOpen(box);
      QAbstractButton* answer = box->defaultButton() ? box->defaultButton() : box->button(QMessageBox::Ok);
      if (answer) answer->click();
      else box->reject();
    } else if (auto* result = qobject_cast<ResultDialog*>(modal)) {
      *seen << result->windowTitle() + QStringLiteral(": ") + result->text();
      if (onOpen) onOpen(result);
      result->accept();
    }
  });
  timer_->start(kPollMs);
}

MessageLog::~MessageLog() { delete timer_; }

QString AnswerMessage(const std::function<void()>& act, QMessageBox::StandardButton button) {
  QString text;
  auto answer = OnModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    if (QAbstractButton* chosen = box->button(button)) chosen->click();
    else QTest::keyClick(box, Qt::Key_Return);
  });
  act();
  return text;
}

void Click(QWidget* dialog, const char* name) {
  auto* button = dialog->findChild<QPushButton*>(QString::fromLatin1(name));
  ASSERT_NE(button, nullptr) << name;
  button->click();
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

AppTest::AppTest() : previousDir_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir_.path());
}

AppTest::~AppTest() {
  EndApp();
  std::filesystem::current_path(previousDir_);
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

void AppTest::UseSerialPort(const std::string& device, int stopOnErrors) const {
  dir_.Write("update.ini", "[SERIAL INTERFACE]\r\nCOMPORT=" + device + "\r\nSTOP ON ERRORS=" +
                               std::to_string(stopOnErrors) + "\r\n");
}

std::string AppTest::WriteRuf(const std::string& name, int lines, const sim::RufWriteOptions& options) const {
  sim::MemoryImage image;
  for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(lines) * 16; ++i) {
    image.Write(0x100 + i, static_cast<std::uint8_t>(i * 13 + 5));
  }
  EXPECT_TRUE(sim::WriteRufFile(dir_.File(name), image, options));
  return dir_.File(name);
}

std::unique_ptr<ModalAnswer> AppTest::ChooseFile(const std::string& path) {
  return OnModal<QFileDialog>([path](QFileDialog* chooser) {
    chooser->selectFile(QString::fromStdString(path));
    static_cast<QDialog*>(chooser)->accept();
  });
}

QString AppTest::RunToTheEnd(int command, const std::string& file, bool silencesAtOnce,
                             int results) {
  auto choose = ChooseFile(file);
  QStringList texts;
  std::vector<std::unique_ptr<ModalAnswer>> answers;
  std::function<void()> awaitResult = [&] {
    answers.push_back(OnModal<ResultDialog>(
        [&](ResultDialog* dialog) {
          texts << dialog->text();
          if (texts.size() < results) awaitResult();
          Click(dialog, "ok");
        },
        kOperationTimeoutMs));
  };
  awaitResult();
  QTimer cutter;
  QObject::connect(&cutter, &QTimer::timeout, [this] {
    for (QTimer* timer : window_->findChildren<QTimer*>()) {
      if (timer->isActive() && timer->interval() == kResponseTimeoutMs) timer->start(1);
    }
  });
  if (silencesAtOnce) cutter.start(1);
  EXPECT_TRUE(window_->RunCommand(command));
  EXPECT_TRUE(choose->answered());
  EXPECT_TRUE(WaitFor([&] { return !window_->engine().operationRunning() && window_->lastOutcome(); },
                      kOperationTimeoutMs));
  return texts.join(QLatin1Char('|'));
}

}  // namespace flash::test
