#include "cli/frequency_run.h"

#include "cli/diagnostics.h"
#include "common/table.h"
#include "common/utf.h"
#include "response/analysis.h"
#include "response/bode_picture.h"
#include "response/netlist.h"
#include "response/response_tables.h"

namespace velmora::cli {

using common::Utf16ToUtf8;

int RunFrequency(const Settings& s, const main::DesignState& state, common::CheckedWriter& out, FileWriter write) {
  if (const std::optional<response::Resistor> r = response::NonPositiveResistor(state)) {
    WriteErr("velmora-cli: --frequency: the analysis needs positive resistors; the design has " +
             std::string(r->name) + " = " + common::ShortestText(r->value) + " ohm\n");
    return kBadValue;
  }
  const response::FrequencyReport report =
      response::AnalyseFrequency(state, s.frequency.opamp, s.frequency.settings);
  if (s.plotFile) {
    if (const int code = write(*s.plotFile, response::BodeSvg(report)); code != kOk) return code;
  }
  out.Write(common::RenderTables(response::FrequencyTables(state, report), s.format, s.newline));
  return kOk;
}

int PrintPresets(const Settings& s, common::CheckedWriter& out) {
  out.Write(common::RenderTables(response::PresetTables(), s.format, s.newline));
  return kOk;
}

std::string StageNetlist(const Settings& s, const main::DesignState& state) {
  const response::NetlistInputs texts{Utf16ToUtf8(s.texts.EditZo), Utf16ToUtf8(s.texts.EditGain),
                                      Utf16ToUtf8(s.texts.EditR1), Utf16ToUtf8(s.texts.EditR3),
                                      Utf16ToUtf8(s.texts.EditR5), Utf16ToUtf8(s.seriesText)};
  if (!s.frequency.modelGiven) return response::MakeNetlist(texts, state, s.newline);
  return response::MakeModelNetlist(texts, state, s.frequency.opamp, s.frequency.settings, s.newline);
}

}  // namespace velmora::cli
