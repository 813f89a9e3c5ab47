#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace flash {

// One radio model the program knows: what the radio reports, the file code it
// accepts, what the status bar shows, the refusal text, the start command, and
// how the model differs from the others on the wire.
struct ModelRow {
  std::int32_t reportedCode;  // 0: the radio reports no model (the default model 712)
  std::int32_t fileCode;
  std::string_view statusText;
  std::string_view mismatchMessage;
  std::string_view startCommand;
  // Intel HEX lines go out as text ending in CR alone, without the mode byte.
  bool takesTextLines = false;
  // Its start command takes long: a 50 s wait, and a silence repeats the command.
  bool slowStart = false;
  // A '-' after "VER" reports extended memory: the user chooses a personality.
  bool mayHaveExtendedMemory = false;
  // Paces its input with XON/XOFF; the serial port is switched over once it is known.
  bool softwareFlowControl = false;
};

inline constexpr ModelRow kModelTable[] = {
    {0, 712, "Ostrel 712", "The selected RUF file is not compatible with the Ostrel", "XX\r"},
    {734, 734, "Banwick 734", "The selected RUF file is not compatible with the Banwick", "ZZ\r",
     false, false, true},
    {746, 746, "Model QV746", "The selected RUF file is not compatible with the Model QV746", "ZZ\r"},
    {758, 758, "Model 758", "The selected RUF file is not compatible with the Model 758", "ZZ\r",
     false, true},
    {763, 763, "QV-763 Reciever", "The selected RUF file is not compatible with the QV-763", "ZZ\r"},
    {775, 775, "Kestrun V Transceiver", "The selected RUF file is not compatible with the KESTRUN-V",
     "ZZ\r"},
    {781, 781, "Fennic 781", "The selected RUF file is not compatible with the Fennic", "ZZ\r"},
    {784, 784, "Fennic 2 784", "The selected RUF file is not compatible with the Fennic2", "ZZ\r"},
    {797, 797, "Model 797", "The selected RUF file is not compatible with the Model 797", "ZZ\r",
     true, false, false, true},
    {729, 729, "Model 729", "The selected RUF file is not compatible with the Model 729", "ZZ\r",
     true},
};

// The row for a reported model code, or nullptr for a model the program does not know.
const ModelRow* FindModelRow(std::int32_t modelCode);

// The model code an identification answer ("VER 1234 746") reports; 0 for none.
std::int32_t ReportedModelCode(std::string_view identification);

// Whether the radio last identified takes its Intel HEX lines as text.
bool TakesTextLines(std::int32_t modelCode);

// How a file for another model is refused: the pane's line and the message. A
// file whose name does not begin with a three-digit model code is told what its
// name must begin with.
struct ModelMismatchTexts {
  std::string paneLine;  // with its line end
  std::string message;
};
ModelMismatchTexts DescribeModelMismatch(const ModelRow& row, std::int32_t fileModelCode,
                                         std::string_view modelPrefix);

}  // namespace flash
