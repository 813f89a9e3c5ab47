// Whole operations against the simulated radio in process: the radio's memory at
// the end is the check.
#include "sim/image_comparison.h"
#include "sim/ruf_writer.h"
#include "sim/simulated_radio.h"
#include "tests/support/engine_rig.h"

namespace flash::test {
namespace {

TEST(EngineWithASimulatedRadio, ProgramsAndVerifiesImagesOfEachRecordFormAsTheFileWasChecked) {
  sim::RufWriteOptions intel, sRecords, textLines;
  intel.directives = {"#E010203", "#G01020304", "#>MODE 1", "#UNLOCKBOOT"};
  sRecords.format = sim::RufDataFormat::SRecords;
  textLines.segmentRecords = false;
  const std::tuple<int, std::uint32_t, sim::RufWriteOptions> cases[] = {  // model, address, form
      {746, 0x1FFF0, intel}, {746, 0x01400000, sRecords}, {797, 0x40, textLines}};
  for (const auto& [model, base, options] : cases) {
    EngineRig rig;
    sim::SimulatedRadio radio;
    radio.config().model = model;
    rig.serial.radio = [&radio](const std::string& request) {
      return radio.HandleRequestAnswers(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
    };
    sim::MemoryImage image;
    for (std::uint32_t i = 0; i < 600; ++i) image.Write(base + i, static_cast<std::uint8_t>(i * 7 + 3));
    const std::string path = rig.dir.File(std::to_string(model) + ".ruf");
    ASSERT_TRUE(sim::WriteRufFile(path, image, options));
    rig.dir.Write(std::to_string(model) + ".ruf", "\xEF\xBB\xBF" + TempDir::Read(path));
    rig.host.chosenFile = path;
    rig.engine.RunProgramCommand();
    rig.RunToTheEnd(12);
    rig.dir.Write(std::to_string(model) + ".ruf", ":00000001FF\r\n");  // rewritten by a build meanwhile
    rig.RunToTheEnd();
    EXPECT_EQ(rig.host.dialogs, std::vector<DialogId>{DialogId::ProgramSuccess});
    EXPECT_EQ(sim::CompareImages(image, radio.memory()).Describe(), "images are equal");
    if (base != 0x1FFF0) continue;  // S frames and text lines carry no Verify mode byte
    ASSERT_TRUE(sim::WriteRufFile(path, image, options));
    rig.engine.RunVerifyCommand();
    rig.RunToTheEnd();
    radio.memory().Write(base + 300, 0x00);
    rig.engine.RunVerifyCommand();
    rig.RunToTheEnd();
    EXPECT_EQ(rig.host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess, DialogId::VerifySuccess,
                                                       DialogId::VerifyFailure}));
  }
}

}  // namespace
}  // namespace flash::test
