#include <algorithm>
#include <cstdint>

#include "engine/number_text.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"
#include "engine/model_table.h"

namespace flash {
namespace {

constexpr std::size_t kDspOffset = 4;
constexpr std::size_t kModelOffset = 9;
constexpr std::size_t kSeparatorOffset = 3;
constexpr std::int32_t kStartTimeoutMs = 10000;      // taken only when ignoreErrors is neither 0 nor 1
constexpr std::int32_t kSlowStartTimeoutMs = 50000;

}  // namespace

const ModelRow* FindModelRow(std::int32_t modelCode) {
  for (const ModelRow& row : kModelTable) {
    if (row.reportedCode == modelCode) return &row;
  }
  return nullptr;
}

std::int32_t ReportedModelCode(std::string_view identification) {
  return ReadLeadingDecimal(identification.substr(std::min(kModelOffset, identification.size())))
      .value_or(0);
}

bool TakesTextLines(std::int32_t modelCode) {
  const ModelRow* row = FindModelRow(modelCode);
  return row != nullptr && row->takesTextLines;
}

ModelMismatchTexts DescribeModelMismatch(const ModelRow& row, std::int32_t fileModelCode,
                                         std::string_view modelPrefix) {
  const std::string radio(row.statusText);
  ModelMismatchTexts texts{
      Format(" The file is for model %d, the radio is a %s.\r\n", fileModelCode, radio.c_str()),
      std::string(row.mismatchMessage)};
  const bool named = modelPrefix.size() == 3 &&
                     std::all_of(modelPrefix.begin(), modelPrefix.end(),
                                 [](char c) { return c >= '0' && c <= '9'; });
  if (named) return texts;
  // "model 0" would say nothing to someone who named the file fw.hex.
  texts.paneLine = Format(" The file's name does not begin with a three-digit model code (it begins "
                          "with \"%s\"); the name of a file for a %s must begin with %03d.\r\n",
                          std::string(modelPrefix).c_str(), radio.c_str(), row.fileCode);
  texts.message += Format(". Its name does not begin with a model code: the name of a file for "
                          "this radio must begin with the three-digit model code %03d.",
                          row.fileCode);
  return texts;
}

void UpdateEngine::EndForModelMismatch(const ModelRow& row, std::int32_t reportedCode) {
  EndEarly();
  const ModelMismatchTexts texts =
      DescribeModelMismatch(row, state_.fileModelCode, state_.modelPrefix);
  host_.AppendOutput(texts.paneLine);
  host_.ShowMessage(texts.message, "");
  host_.Finding({.kind = FindingKind::ModelMismatch,
                 .text = FindingText(texts.paneLine),
                 .code = reportedCode});
  host_.OperationEnded(OperationOutcome::ModelMismatch);
}

void UpdateEngine::IdentifyRadio(const std::uint8_t* bytes, std::size_t length) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), length);
  host_.StopTimer(kIdentificationTimerId);
  // A repeated answer while the personality dialog is open must not open another one.
  if (choosingPersonality_) return;

  const std::string_view afterVer = text.substr(std::min(kDspOffset, text.size()));
  if (const auto dsp = ReadLeadingDecimal(afterVer)) state_.dspVersion = *dsp;
  state_.dspVersionText =
      Format("DSP VERSION %1.3f", static_cast<std::uint32_t>(state_.dspVersion) / 1000.0);

  state_.radioModelCode = ReportedModelCode(text);
  host_.RadioIdentified(state_.radioModelCode);
  host_.Finding({.kind = FindingKind::RadioIdentified,
                 .text = Format("The radio reports model %d, %s.", state_.radioModelCode,
                                state_.dspVersionText.c_str()),
                 .code = state_.radioModelCode,
                 .dspVersion = state_.dspVersion});

  const ModelRow* row = FindModelRow(state_.radioModelCode);
  if (row == nullptr) {
    host_.SetStatusText(2, state_.dspVersionText);
    const std::string unlisted =
        Format("The radio reports model %d (%s), which this program does not know; nothing was "
               "sent to it.",
               state_.radioModelCode, state_.dspVersionText.c_str());
    host_.AppendOutput(" " + unlisted + "\r\n");
    host_.Finding(
        {.kind = FindingKind::UnlistedModel, .text = unlisted, .code = state_.radioModelCode});
    if (host_.StopOnUnlistedModel()) {
      EndEarly();
      host_.OperationEnded(OperationOutcome::UnlistedModel);
    }
    return;
  }

  if (row->softwareFlowControl) {
    host_.AppendOutput(Format("Model %d detected - Adjusting for %d protocol\r\n", row->reportedCode,
                              row->reportedCode));
    serial_.SetLineFormat(57600, 8, 0, 0);
    serial_.SetFlowControl(FlowSoftware);
    serial_.SetWriteTimeouts(100, 100);
    serial_.Purge();
  }

  if (row->mayHaveExtendedMemory && text.size() > kSeparatorOffset &&
      text[kSeparatorOffset] == '-') {
    SelectPersonality();
    if (!running_) return;  // the operation ended while the dialog was open
    if (state_.personality == -1) {
      SendRequest("P0\r");
      EndEarly();
      host_.AppendOutput(" The update was cancelled; nothing of the file was sent.\r\n");
      host_.Finding({.kind = FindingKind::PersonalityCancelled,
                     .text = "The update was cancelled; nothing of the file was sent."});
      host_.OperationEnded(OperationOutcome::PersonalityCancelled);
      return;
    }
  }

  host_.SetStatusText(1, row->statusText);
  if (state_.fileModelCode != row->fileCode) {
    EndForModelMismatch(*row, state_.radioModelCode);
    return;
  }
  state_.responseTimeoutMs = row->slowStart ? kSlowStartTimeoutMs : kStartTimeoutMs;
  state_.zzPending = row->slowStart;
  radioIdentified_ = true;
  lastRequest_ = std::string(row->startCommand);
  SendRequest(lastRequest_);
}

}  // namespace flash
