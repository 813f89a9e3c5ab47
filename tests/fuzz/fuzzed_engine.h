#pragma once

#include <string>

#include "link/comms_trace.h"
#include "engine/update_engine.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_links.h"

namespace flash::fuzz {

// An engine on the virtual-clock host and the scriptable links, about to run the
// file it is given. Its trace path is /dev/null, a device the trace refuses, so
// nothing is written.
struct FuzzedEngine {
  explicit FuzzedEngine(const std::string& rufFile) {
    trace.SetPath("/dev/null");
    host.Attach(&engine);
    host.chosenFile = rufFile;
  }

  test::FakeHost host;
  LinkSettings settings;
  test::FakeSerialLink serial;
  test::FakeUdpLink udp;
  CommsTrace trace{host};
  UpdateEngine engine{host, settings, serial, udp, trace};
};

}  // namespace flash::fuzz
