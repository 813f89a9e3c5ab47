#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

const char* const kOneRecord = ":0300300002337A1E\r\n";

class UdpLinkUse : public EngineFixture {
 protected:
  void SetUp() override {
    settings.serialActive = false;
    settings.ethernetActive = true;
    settings.radioAddress = "127.0.0.2";
    settings.radioPort = 50000;
    settings.radioPasscode = 7;
    path = WriteRuf("746.ruf", kOneRecord);
  }
  void RunToTheEnd() {
    Choose(path);
    engine.RunProgramCommand();
    for (const char* answer : {"VER 1234 746\r", "READY\r", ":1E\r"}) {
      udp.incoming.push_back(answer);
      engine.OnUdpReadable();
    }
  }
  std::string path;
};

TEST_F(UdpLinkUse, AnOperationCreatesBindsConnectsAndFinallyClosesItsSocket) {
  RunToTheEnd();
  EXPECT_EQ(udp.creates, 1);
  EXPECT_EQ(udp.boundPort, 50000);
  EXPECT_EQ(udp.connects, (std::vector<std::string>{"127.0.0.2:50000"}));
  EXPECT_EQ(udp.datagrams.front(), Bytes({0x00, 0x07, '?', 'V', '\r'}));
  EXPECT_EQ(udp.closes, 1);
  EXPECT_FALSE(udp.hasSocket);
  EXPECT_NE(host.output.find("Using Ethernet Interface \r\n"), std::string::npos);
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
}

TEST_F(UdpLinkUse, TwoCompleteOperationsCreateTheSocketTwice) {
  RunToTheEnd();
  RunToTheEnd();
  EXPECT_EQ(udp.creates, 2);
  EXPECT_EQ(udp.closes, 2);
}

TEST_F(UdpLinkUse, AnOperationThatStoppedEarlyStillClosesItsSocket) {
  Choose(WriteRuf("100.ruf", kOneRecord));
  engine.RunProgramCommand();
  udp.incoming.push_back("VER 1234 746\r");
  engine.OnUdpReadable();
  ASSERT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::ModelMismatch}));
  EXPECT_FALSE(udp.hasSocket);
  RunToTheEnd();
  EXPECT_EQ(udp.creates, 2);
}

TEST_F(UdpLinkUse, AFailedCreationIsShownAndTriedAgainByTheNextOperation) {
  udp.createError = 98;
  Choose(path);
  engine.RunProgramCommand();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, "Socket Create returned error code 98");
  EXPECT_TRUE(udp.datagrams.empty());
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::LinkNotOpened}));
  Choose(path);
  engine.RunProgramCommand();
  EXPECT_EQ(udp.creates, 2);
  EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(UdpLinkUse, AReceiveErrorIsShownButWouldBlockAndEmptyDatagramsAreNot) {
  Choose(path);
  engine.RunProgramCommand();
  udp.receiveError = 10035;
  engine.OnUdpReadable();
  udp.incoming.push_back("");
  engine.OnUdpReadable();
  EXPECT_TRUE(host.messages.empty());
  udp.receiveError = 111;
  engine.OnUdpReadable();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, "Windows Socket Error occurred");
  EXPECT_TRUE(engine.operationRunning());
}

}  // namespace
}  // namespace flash::test
