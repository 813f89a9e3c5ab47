// A whole operation against the simulated radio in process: the radio's memory at the end
// is the check. What is sent is the file as it was checked, whatever happens on disk.
#include "sim/image_comparison.h"
#include "sim/ruf_writer.h"
#include "sim/simulated_radio.h"
#include "tests/support/engine_rig.h"

namespace flash::test {
namespace {

TEST(EngineWithASimulatedRadio, ProgramsAndVerifiesAnImageAsItsFileWasChecked) {
  EngineRig rig;
  sim::SimulatedRadio radio;
  radio.config().model = 746;
  rig.serial.radio = [&radio](const std::string& request) {
    return radio.HandleRequestAnswers(reinterpret_cast<const std::uint8_t*>(request.data()),
                                      request.size());
  };
  sim::MemoryImage image;  // across a 64 KiB segment
  for (std::uint32_t i = 0; i < 600; ++i) image.Write(0x1FFF0 + i, std::uint8_t(i * 7));
  sim::RufWriteOptions options;
  options.directives = {"#E010203", "#G01020304", "#>MODE 1", "#UNLOCKBOOT"};
  const std::string path = rig.dir.File("746.ruf");
  ASSERT_TRUE(sim::WriteRufFile(path, image, options));
  rig.dir.Write("746.ruf", "\xEF\xBB\xBF" + TempDir::Read(path));  // a byte-order mark
  rig.host.chosenFile = path;
  rig.engine.RunProgramCommand();
  rig.RunToTheEnd(12);
  rig.dir.Write("746.ruf", ":00000001FF\r\n");  // rewritten by a build meanwhile
  rig.RunToTheEnd();
  EXPECT_EQ(sim::CompareImages(image, radio.memory()).Describe(), "images are equal");
  ASSERT_TRUE(sim::WriteRufFile(path, image, options));
  radio.memory().Write(0x20000, 0x00);
  rig.engine.RunVerifyCommand();
  rig.RunToTheEnd();
  EXPECT_EQ(rig.host.dialogs, std::vector({DialogId::ProgramSuccess, DialogId::VerifyFailure}));
}

}  // namespace
}  // namespace flash::test
