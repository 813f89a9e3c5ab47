#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/text_format.h"
#include "link/comms_trace.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_links.h"
#include "tests/support/temp_dir.h"

namespace flash::test {

// Bytes given as hex pairs ("42 03 0D"), for frames.
inline std::string Hex(std::string_view pairs) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 3) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(pairs.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// An engine on a virtual-clock host and scriptable links (serial unless told), its
// trace in a temporary directory.
struct EngineRig {
  EngineRig() {
    host.Attach(&engine);
    trace.SetPath(dir.File("comms.txt"));
  }

  // A run on the file of this name and content; no name: the file dialog was cancelled.
  void Start(const std::string& name, const std::string& content, OperationOptions options = {},
             OperationMode mode = OperationMode::Program) {
    host.chosenFile = name.empty() ? std::nullopt : std::optional(dir.Write(name, content));
    engine.Run(mode, options);
  }
  // One answer of the radio, complete with its CR.
  void Answer(const std::string& bytes) {
    if (settings.ethernetActive) {
      udp.incoming.push_back(bytes);
      return engine.OnUdpReadable();
    }
    serial.input += bytes;
    engine.OnSerialEvent(kEventFlagChar, 0);
  }
  // A Program of the file to a radio that identifies itself so and is then ready.
  void StartAndIdentify(const std::string& name, const std::string& content,
                        const std::string& identification = "VER 1234 746\r") {
    Start(name, content);
    Answer(identification);
    Answer("READY\r");
  }
  // The serial radio answers as a healthy one does, but for its first wrong echoes to data
  // records: its identification, READY to the start command, E and G frames in kind, the
  // check byte of each record frame, an ACK to each text line, nothing to other text.
  void Healthy(const std::string& identification, int wrongEchoes = 0) {
    serial.radio = [=](const std::string& r) mutable -> std::vector<std::string> {
      if (r == "?V\r") return {identification};
      if (r == "XX\r" || r == "ZZ\r") return {"READY\r"};
      if (r[0] == 'E' || r[0] == 'G') return {r.substr(0, 1) + "\r"};
      if (r[0] == ':') return {"\x06\r"};
      // A record frame: its lead (a mode byte, 'A' or 'S'), its count, ..., its check byte, CR.
      const std::size_t n = static_cast<std::uint8_t>(r.size() > 1 ? r[1] : 0);
      if (std::string_view("BV\x99?AS").find(r[0]) == std::string_view::npos ||
          r.size() != n + (r[0] == 'S' ? 3 : 7)) {
        return {};
      }
      const bool wrong = r[0] != 'A' && r[0] != 'S' && wrongEchoes-- > 0;
      return {Format(":%02X\r", static_cast<std::uint8_t>(r[r.size() - 2] + wrong))};
    };
  }
  // Delivers the radio's answers, and the timers when it is silent, until the end
  // (or until the radio has had this many requests).
  void RunToTheEnd(std::size_t requests = SIZE_MAX) {
    while (engine.operationRunning() && serial.writes.size() < requests) {
      if (serial.pending.empty() && !host.FireNextTimer()) return;
      if (serial.pending.empty()) continue;
      const std::string answer = serial.pending.front();
      serial.pending.pop_front();
      Answer(answer);
    }
  }
  std::string Trace() const { return TempDir::Read(dir.File("comms.txt")); }

  TempDir dir;
  FakeHost host;
  LinkSettings settings;
  FakeSerialLink serial;
  FakeUdpLink udp;
  CommsTrace trace{host};
  UpdateEngine engine{host, settings, serial, udp, trace};
};

struct Engine : ::testing::Test, EngineRig {};

}  // namespace flash::test
