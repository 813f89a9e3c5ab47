// make-demo-ruf: writes the demo RUF file and the memory image a Program of it
// leaves in an erased radio.
#include <cstdio>
#include <string>

#include "examples/demo_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: make-demo-ruf DIRECTORY\n"
                         "Writes DIRECTORY/746-demo.ruf and DIRECTORY/746-demo.hex.\n");
    return 64;
  }
  const std::string directory = argv[1];
  const flash::sim::MemoryImage image = flash::examples::DemoImage();
  std::string error;
  const std::string rufPath = directory + "/746-demo.ruf";
  if (!flash::sim::WriteRufFile(rufPath, image, flash::examples::DemoRufOptions(), &error)) {
    std::fprintf(stderr, "make-demo-ruf: %s: %s\n", rufPath.c_str(), error.c_str());
    return 1;
  }
  const std::string hexPath = directory + "/746-demo.hex";
  if (!image.SaveIntelHex(hexPath, &error)) {
    std::fprintf(stderr, "make-demo-ruf: %s: %s\n", hexPath.c_str(), error.c_str());
    return 1;
  }
  std::printf("wrote %s and %s (%zu bytes of firmware)\n", rufPath.c_str(), hexPath.c_str(),
              image.size());
  return 0;
}
