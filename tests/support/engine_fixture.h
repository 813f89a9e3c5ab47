#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/comms_trace.h"
#include "engine/update_engine.h"
#include "tests/support/bytes.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_links.h"
#include "tests/support/temp_dir.h"

namespace flash::test {

// An engine wired to a virtual-clock host and scriptable links, with its trace in
// a temporary directory.
class EngineFixture : public ::testing::Test {
 protected:
  EngineFixture() {
    host.Attach(&engine);
    trace.SetPath(dir.File("comms.txt"));
  }

  std::string WriteRuf(const std::string& name, const std::string& content) {
    return dir.Write(name, content);
  }

  void Choose(const std::string& path) { host.chosenFile = path; }

  // An answer of the radio on the serial link, ending the wait for the event character.
  void Answer(const std::string& bytes) {
    serial.input += bytes;
    engine.OnSerialEvent(kEventFlagChar, 0);
  }

  std::string LastWrite() const { return serial.writes.empty() ? "" : serial.writes.back(); }
  std::string TraceText() { return TempDir::Read(dir.File("comms.txt")); }

  // Starts a Program of path and answers the identification for model with "READY".
  void StartAndIdentify(const std::string& path, const std::string& identification) {
    Choose(path);
    engine.RunProgramCommand();
    Answer(identification);
    Answer("READY\r");
  }

  TempDir dir;
  FakeHost host;
  LinkSettings settings;
  FakeSerialLink serial;
  FakeUdpLink udp;
  CommsTrace trace{host};
  UpdateEngine engine{host, settings, serial, udp, trace};
};

}  // namespace flash::test
