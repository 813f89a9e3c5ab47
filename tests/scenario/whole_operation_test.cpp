#include <gtest/gtest.h>

#include <deque>

#include "sim/image_comparison.h"
#include "sim/ruf_image.h"
#include "sim/ruf_writer.h"
#include "sim/simulated_radio.h"
#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

// A serial port with the simulated radio at its other end: each write is one
// request, and each of the radio's answers arrives as its own notification.
class SimulatedRadioLink : public FakeSerialLink {
 public:
  explicit SimulatedRadioLink(sim::SimulatedRadio& radio) : radio_(radio) {}
  std::int32_t Write(const std::uint8_t* data, std::size_t size, std::size_t* countOut) override {
    const std::int32_t result = FakeSerialLink::Write(data, size, countOut);
    if (result == kResultOk) {
      for (std::string& answer : radio_.HandleRequestAnswers(data, size)) {
        pending.push_back(std::move(answer));
      }
    }
    return result;
  }
  void Purge() override {
    FakeSerialLink::Purge();
  }
  std::deque<std::string> pending;

 private:
  sim::SimulatedRadio& radio_;
};

sim::RadioConfig ConfigFor(int model) {
  sim::RadioConfig config;
  config.model = model;
  return config;
}

class WholeOperation : public ::testing::Test {
 protected:
  WholeOperation() {
    host.Attach(&engine);
    trace.SetPath(dir.File("comms.txt"));
  }

  // Runs the event loop until the operation is over: answers first, then timers.
  void RunToTheEnd() {
    for (int guard = 0; guard < 100000 && engine.operationRunning(); ++guard) {
      if (!link.pending.empty()) {
        link.input = link.pending.front();
        link.pending.pop_front();
        engine.OnSerialEvent(kEventFlagChar, 0);
      } else if (!host.FireNextTimer()) {
        break;
      }
    }
  }

  std::string WriteImageFile(const std::string& name, const sim::MemoryImage& image,
                             sim::RufWriteOptions options = {}) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(sim::WriteRufFile(path, image, options));
    return path;
  }

  static sim::MemoryImage TestImage(std::uint32_t base, std::size_t size) {
    sim::MemoryImage image;
    for (std::size_t i = 0; i < size; ++i) {
      image.Write(base + static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(i * 7 + 3));
    }
    return image;
  }

  TempDir dir;
  FakeHost host;
  LinkSettings settings;
  sim::SimulatedRadio radio{ConfigFor(746)};
  SimulatedRadioLink link{radio};
  FakeUdpLink udp;
  CommsTrace trace{host};
  UpdateEngine engine{host, settings, link, udp, trace};
};

TEST_F(WholeOperation, AProgramOfEveryLineKindEndsWith117AndTheRadioHoldsTheImage) {
  const sim::MemoryImage image = TestImage(0x1FFF0, 600);  // crosses a segment boundary
  sim::RufWriteOptions options;
  options.comments = {"made by the tests"};
  const std::string path = WriteImageFile("746-every-kind.ruf", image, options);
  // Add directive lines the radio must take without changing its memory.
  std::string text = TempDir::Read(path);
  text = "#E010203\r\n#G01020304\r\n#>MODE 1\r\n#UNLOCKBOOT\r\n\r\n" + text;
  dir.Write("746-every-kind.ruf", text);

  host.chosenFile = path;
  engine.RunProgramCommand();
  RunToTheEnd();

  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  const sim::ImageComparison comparison = sim::CompareImages(image, radio.memory());
  EXPECT_TRUE(comparison.equal) << comparison.Describe();
  EXPECT_EQ(host.status[1], "Model QV746");
  const std::string traceText = TempDir::Read(dir.File("comms.txt"));
  EXPECT_NE(traceText.find("[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"), std::string::npos);
}

// What is sent is what was checked: a file rewritten on disk while it is sent
// changes nothing, and a byte-order mark hides no record.
TEST_F(WholeOperation, TheRadioGetsTheFileAsCheckedWhateverHappensToItOnDisk) {
  const sim::MemoryImage image = TestImage(0x4000, 640);
  const std::string path = WriteImageFile("746.ruf", image);
  dir.Write("746.ruf", "\xEF\xBB\xBF" + TempDir::Read(path));
  host.chosenFile = path;
  engine.RunProgramCommand();
  for (int i = 0; i < 10 && !link.pending.empty(); ++i) {
    link.input = link.pending.front();
    link.pending.pop_front();
    engine.OnSerialEvent(kEventFlagChar, 0);
  }
  ASSERT_TRUE(engine.operationRunning());
  dir.Write("746.ruf", ":00000001FF\r\n");  // truncated by a build meanwhile
  RunToTheEnd();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  const sim::ImageComparison comparison = sim::CompareImages(image, radio.memory());
  EXPECT_TRUE(comparison.equal) << comparison.Describe();
}

TEST_F(WholeOperation, AnSRecordFileIsWrittenToItsAddresses) {
  const sim::MemoryImage image = TestImage(0x00400000, 300);
  sim::RufWriteOptions options;
  options.format = sim::RufDataFormat::SRecords;
  host.chosenFile = WriteImageFile("746-s.ruf", image, options);
  engine.RunProgramCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  EXPECT_TRUE(sim::CompareImages(image, radio.memory()).equal);
}

TEST_F(WholeOperation, AVerifyAgainstChangedMemoryEndsWith121) {
  const sim::MemoryImage image = TestImage(0x100, 256);
  host.chosenFile = WriteImageFile("746.ruf", image);
  engine.RunProgramCommand();
  RunToTheEnd();
  radio.memory().Write(0x180, 0x00);
  radio.ClearLog();

  engine.RunVerifyCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs,
            (std::vector<DialogId>{DialogId::ProgramSuccess, DialogId::VerifyFailure}));
  EXPECT_NE(TempDir::Read(dir.File("comms.txt")).find("[[END OF ACTION FailureFlag=1 Total Errors=1]]"),
            std::string::npos);
}

TEST_F(WholeOperation, AVerifyOfUnchangedMemoryEndsWith118) {
  const sim::MemoryImage image = TestImage(0x100, 256);
  host.chosenFile = WriteImageFile("746.ruf", image);
  engine.RunProgramCommand();
  RunToTheEnd();
  engine.RunVerifyCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs.back(), DialogId::VerifySuccess);
}

TEST_F(WholeOperation, AModelMismatchSendsNothingAfterTheIdentificationRequest) {
  host.chosenFile = WriteImageFile("781.ruf", TestImage(0, 64));
  engine.RunProgramCommand();
  RunToTheEnd();
  EXPECT_EQ(link.writes, (std::vector<std::string>{"?V\r"}));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, "The selected RUF file is not compatible with the Model QV746");
  EXPECT_TRUE(radio.memory().empty());
}

TEST_F(WholeOperation, ASilentRadioEndsWith113AfterEightSendings) {
  radio.config().faults.silentFromRequest = 3;
  host.chosenFile = WriteImageFile("746.ruf", TestImage(0, 64));
  engine.RunProgramCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::CommFailure}));
  EXPECT_EQ(link.writes.size(), 2u + 8u);
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::CommunicationFailed}));
}

TEST_F(WholeOperation, WrongEchoesAreResentAndTheImageStillArrives) {
  radio.config().faults.wrongEchoFirst = 3;
  const sim::MemoryImage image = TestImage(0x2000, 160);
  host.chosenFile = WriteImageFile("746.ruf", image);
  engine.RunProgramCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  EXPECT_TRUE(sim::CompareImages(image, radio.memory()).equal);
}

TEST_F(WholeOperation, ABanwickWithExtendedMemoryStoresTheImageInTheChosenPersonality) {
  radio.config() = ConfigFor(734);
  radio.config().extendedMemory = true;
  host.personalityAnswer = 3;
  sim::RufWriteOptions options;
  options.directives = {"#E000000"};
  host.chosenFile = WriteImageFile("734.ruf", TestImage(0x300, 64), options);
  engine.RunProgramCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  bool personalityFrameSeen = false;
  for (const std::string& w : link.writes) {
    personalityFrameSeen |= w == Bytes({0x45, 3, 0, 0, 0xFD, 0x0D});
  }
  EXPECT_TRUE(personalityFrameSeen);
}

TEST_F(WholeOperation, AModel797TakesTextLinesWithAcks) {
  radio.config() = ConfigFor(797);
  const sim::MemoryImage image = TestImage(0x40, 96);
  sim::RufWriteOptions options;
  options.segmentRecords = false;
  host.chosenFile = WriteImageFile("797.ruf", image, options);
  engine.RunProgramCommand();
  RunToTheEnd();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  EXPECT_TRUE(sim::CompareImages(image, radio.memory()).equal);
}

}  // namespace
}  // namespace flash::test
