#include "response/response_tables.h"

#include <cmath>
#include <string>

#include "common/numtext.h"
#include "common/utf.h"

namespace velmora::response {
namespace {

using common::Cell;
using common::Column;
using common::Shown;
using common::Table;

// A number, or `missing` shown for NaN and "∞" / "-∞" for the infinities
// (all three null in CSV and JSON).
Cell Value(double x, const char* missing = "-") {
  if (std::isnan(x)) return Cell::Missing(missing);
  if (std::isinf(x)) return Cell::Missing(x > 0 ? "∞" : "-∞");
  return Cell::Number(x);
}

std::string Percent(double x, int decimals) {
  return common::Utf16ToUtf8(common::FixedDecimal(100.0 * x, decimals));
}

Table Record(std::string name, std::string title, std::vector<Column> columns, std::vector<Cell> row) {
  Table t;
  t.name = std::move(name);
  t.title = std::move(title);
  t.record = true;
  t.columns = std::move(columns);
  t.rows = {std::move(row)};
  return t;
}

Table DesignTable(const main::DesignState& s) {
  Cell series = Cell::Integer(s.ER);
  if (s.ER == 0) series.label = "∞";
  return Record("design", "Design",
                {{"zo", "Zo", Shown::SI}, {"gain_db", "Gain dB", Shown::Fixed}, {"r1", "R1", Shown::SI},
                 {"r2", "R2", Shown::SI}, {"r3", "R3", Shown::SI}, {"r4", "R4", Shown::SI},
                 {"r5", "R5", Shown::SI}, {"series", "series"}},
                {Cell::Number(s.Zo), Cell::Number(20.0 * std::log10(s.Gain)), Cell::Number(s.R1),
                 Cell::Number(s.R2), Cell::Number(s.R3), Cell::Number(s.R4), Cell::Number(s.R5), series});
}

Table OpAmpTable(const FrequencyReport& r) {
  const OpAmp& op = r.opamp;
  return Record("opamp", "Op-amp",
                {{"name", "op-amp"}, {"a0_db", "A0 dB", Shown::Fixed, 1}, {"gbw_hz", "GBW", Shown::SI},
                 {"f2_hz", "f2", Shown::SI}, {"ro_ohm", "Ro", Shown::SI}, {"cload_f", "CL", Shown::SI},
                 {"en_v", "en /√Hz", Shown::SI}, {"in_a", "in /√Hz", Shown::SI}, {"vmax_v", "Vmax", Shown::SI},
                 {"imax_a", "Imax", Shown::SI}, {"temp_c", "°C", Shown::Fixed, 1}},
                {Cell::Text(op.name), Value(op.a0Db), Value(op.gbw), op.f2 == kInfinity ? Cell::Missing("none")
                                                                                            : Value(op.f2),
                 Value(op.ro), Value(r.settings.cload), Value(op.en), Value(op.in), Value(op.vmax),
                 Value(op.imax), Value(r.settings.tempC)});
}

std::vector<Column> DcColumns() {
  return {{"zo_ohm", "Zo", Shown::SI}, {"gain_db", "Gain dB", Shown::Fixed, 3}, {"zio_ohm", "Zio", Shown::SI},
          {"eta", "η %", Shown::Percent, 2}};
}

std::vector<Cell> DcRow(const DcFigures& d) {
  return {Cell::Number(d.zo), Cell::Number(d.gainDb), Cell::Number(d.zio), Cell::Number(d.eta)};
}

std::vector<Table> DcTables(const FrequencyReport& r) {
  Table ideal = Record("ideal", "DC, ideal op-amp", DcColumns(), DcRow(r.ideal));
  const auto change = [](double real, double reference) { return Percent(real / reference - 1.0, 4) + " %"; };
  ideal.notes.push_back("This op-amp moves Zo by " + change(r.dc.zo, r.ideal.zo) + ", the gain by " +
                        common::Utf16ToUtf8(common::FixedDecimal(r.dc.gainDb - r.ideal.gainDb, 4)) + " dB, Zio by " +
                        change(r.dc.zio, r.ideal.zio) + " and η by " + change(r.dc.eta, r.ideal.eta) + ".");
  return {Record("dc", "DC, this op-amp", DcColumns(), DcRow(r.dc)), ideal};
}

Table BandwidthTable(const Bandwidth& b) {
  return Record("bandwidth", "Bandwidth",
                {{"zo_1pct_hz", "Zo within ±1 % up to", Shown::SI},
                 {"zo_10pct_hz", "±10 % up to", Shown::SI},
                 {"gain_3db_hz", "gain -3 dB at", Shown::SI}},
                {Value(b.zo1pct, "∞"), Value(b.zo10pct, "∞"), Value(b.gain3db, "∞")});
}

Table StabilityTable(const FrequencyReport& r) {
  Table t;
  t.name = "stability";
  t.title = "Stability: the loop broken at the op-amp's source, In at 0 V";
  t.columns = {{"load", "load"},
               {"loop_gain_dc", "T(0)", Shown::SI},
               {"crossover_hz", "crossover", Shown::SI},
               {"phase_margin_deg", "PM °", Shown::Fixed, 2},
               {"phase180_hz", "-180° at", Shown::SI},
               {"gain_margin_db", "GM dB", Shown::Fixed, 2},
               {"latches", "latches"}};
  for (const Stability& s : r.stability) {
    const std::string name = LoadCaseName(s.load);
    t.rows.push_back({Cell::Text(name), Value(s.loopGainDc), Value(s.crossover), Value(s.phaseMargin),
                      Value(s.phase180), Value(s.gainMargin), Cell::Bool(s.latches)});
    if (s.latches) {
      t.notes.push_back(name + ": latches: the positive feedback outweighs the negative at DC (1 + T(0) <= 0); "
                               "no crossover, no margins.");
    } else if (s.alwaysAbove) {
      t.notes.push_back(name + ": |T| stays above 1 at every frequency: no crossover, no phase margin.");
    } else if (s.neverReaches) {
      t.notes.push_back(name + ": |T| never reaches 1: no crossover, no phase margin.");
    }
    if (!s.latches && std::isnan(s.phase180))
      t.notes.push_back(name + ": the phase never reaches -180°: no gain margin.");
  }
  t.notes.push_back("zo: the load Zo || CL; open: CL alone; short: Out at ground.");
  return t;
}

Cell LimitCell(DriveLimit limit) {
  switch (limit) {
    case DriveLimit::Swing: return Cell::Text("swing");
    case DriveLimit::Current: return Cell::Text("current");
    case DriveLimit::None: break;
  }
  return Cell::Missing("no limit");
}

Table DriveTable(const Drive& d) {
  return Record("drive", "Drive at 1 kHz into Zo || CL",
                {{"level_v_peak", "level V peak", Shown::SI},
                 {"level_dbu", "dBu", Shown::Fixed, 2},
                 {"limit", "set by"},
                 {"short_current_a", "into a short", Shown::SI},
                 {"plain_level_v_peak", "plain build V peak", Shown::SI},
                 {"plain_level_dbu", "dBu", Shown::Fixed, 2},
                 {"plain_limit", "set by"},
                 {"headroom_db", "gained dB", Shown::Fixed, 2}},
                {Value(d.level), Value(d.levelDbu), LimitCell(d.limit), Value(d.shortCurrent), Value(d.plainLevel),
                 Value(d.plainLevelDbu), LimitCell(d.plainLimit), Value(d.headroomDb)});
}

std::vector<Table> NoiseTables(const NoiseFigures& n) {
  Table figures = Record(
      "noise", "Noise at Out, load Zo || CL, 20 Hz - 20 kHz unweighted",
      {{"out_density_1khz", "at 1 kHz /√Hz", Shown::SI},
       {"out_rms", "rms", Shown::SI},
       {"out_dbu", "dBu", Shown::Fixed, 2},
       {"in_density_1khz", "input-referred at 1 kHz /√Hz", Shown::SI},
       {"in_rms", "rms", Shown::SI},
       {"plain_out_density_1khz", "plain build at 1 kHz /√Hz", Shown::SI},
       {"plain_out_rms", "rms", Shown::SI},
       {"plain_out_dbu", "dBu", Shown::Fixed, 2},
       {"plain_in_rms", "input-referred rms", Shown::SI},
       {"cost_db", "cost dB", Shown::Fixed, 2}},
      {Cell::Number(n.outDensity1k), Cell::Number(n.outRms), Cell::Number(n.outDbu), Cell::Number(n.inDensity1k),
       Cell::Number(n.inRms), Cell::Number(n.plainOutDensity1k), Cell::Number(n.plainOutRms),
       Cell::Number(n.plainOutDbu), Cell::Number(n.plainInRms), Cell::Number(n.costDb)});

  Table sources;
  sources.name = "noise_sources";
  sources.columns = {{"source", "source"},
                     {"out_density_1khz", "at 1 kHz /√Hz", Shown::SI},
                     {"out_rms", "rms", Shown::SI},
                     {"share", "share %", Shown::Percent, 1}};
  static constexpr const char* kNames[kNoiseSources] = {"R1", "R2", "R3", "R4", "R5", "en", "in-", "in+"};
  const double total = n.outRms * n.outRms;
  for (std::size_t i = 0; i < kNoiseSources; ++i) {
    sources.rows.push_back({Cell::Text(kNames[i]), Cell::Number(std::sqrt(n.density1k[i])),
                            Cell::Number(std::sqrt(n.power[i])), Cell::Number(n.power[i] / total)});
  }
  return {figures, sources};
}

Table PointsTable(const FrequencyReport& r) {
  Table t;
  t.name = "points";
  t.title = "Frequency response: |Zo| with the load removed and In at 0 V, the gain into Zo || CL and open, "
            "|Zio| with Out open, the noise at Out";
  t.columns = {{"f_hz", "f", Shown::SI},
               {"zo_ohm", "|Zo|", Shown::SI},
               {"zo_deg", "Zo °", Shown::Fixed, 2},
               {"gain_db", "gain dB", Shown::Fixed, 3},
               {"gain_deg", "gain °", Shown::Fixed, 2},
               {"gain_open_db", "open dB", Shown::Fixed, 3},
               {"zio_ohm", "|Zio|", Shown::SI},
               {"noise_v", "noise /√Hz", Shown::SI}};
  for (const SweepPoint& p : r.points) {
    t.rows.push_back({Cell::Number(p.f), Cell::Number(p.zo), Cell::Number(p.zoDeg), Cell::Number(p.gainDb),
                      Cell::Number(p.gainDeg), Cell::Number(p.gainOpenDb), Cell::Number(p.zio),
                      Cell::Number(p.noise)});
  }
  return t;
}

// A cell as the text form shows it in `column`, without the padding.
std::string Trimmed(const Cell& cell, const Column& column) {
  std::string s = common::CellText(cell, column);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

// The figures of the stage beside the plain build's, one row each.
std::vector<Table> HeadlineDriveAndNoise(const FrequencyReport& r) {
  const Drive& d = r.drive;
  Table drive;
  drive.name = "drive";
  drive.title = "Drive at 1 kHz into Zo || CL";
  drive.columns = {{"build", "build"}, {"level_v_peak", "V peak", Shown::SI}, {"level_dbu", "dBu", Shown::Fixed, 2},
                   {"limit", "set by"}};
  drive.rows = {{Cell::Text("this stage"), Value(d.level), Value(d.levelDbu), LimitCell(d.limit)},
                {Cell::Text("plain build"), Value(d.plainLevel), Value(d.plainLevelDbu), LimitCell(d.plainLimit)}};
  const Column amps{"", "", Shown::SI}, db{"", "", Shown::Fixed, 2};
  drive.notes.push_back("Into a short: " + Trimmed(Value(d.shortCurrent), amps) +
                        "A peak; gained over the plain build: " + Trimmed(Value(d.headroomDb), db) +
                        " dB.");
  const NoiseFigures& n = r.noise;
  Table noise;
  noise.name = "noise";
  noise.title = "Noise at Out, 20 Hz - 20 kHz unweighted";
  noise.columns = {{"build", "build"}, {"density", "at 1 kHz /√Hz", Shown::SI}, {"rms", "rms", Shown::SI},
                   {"dbu", "dBu", Shown::Fixed, 2}, {"in_rms", "input-referred rms", Shown::SI}};
  noise.rows = {{Cell::Text("this stage"), Cell::Number(n.outDensity1k), Cell::Number(n.outRms),
                 Cell::Number(n.outDbu), Cell::Number(n.inRms)},
                {Cell::Text("plain build"), Cell::Number(n.plainOutDensity1k), Cell::Number(n.plainOutRms),
                 Cell::Number(n.plainOutDbu), Cell::Number(n.plainInRms)}};
  noise.notes.push_back("Cost against the plain build: " + Trimmed(Cell::Number(n.costDb), db) +
                        " dB.");
  return {drive, noise};
}

}  // namespace

std::vector<Table> FrequencyTables(const main::DesignState& state, const FrequencyReport& r) {
  std::vector<Table> tables{DesignTable(state), OpAmpTable(r)};
  for (Table& t : DcTables(r)) tables.push_back(std::move(t));
  tables.push_back(BandwidthTable(r.bandwidth));
  tables.push_back(StabilityTable(r));
  tables.push_back(DriveTable(r.drive));
  for (Table& t : NoiseTables(r.noise)) tables.push_back(std::move(t));
  tables.push_back(PointsTable(r));
  return tables;
}

std::vector<Table> PresetTables() {
  Table t;
  t.name = "opamps";
  t.title = "Op-amps: typical values at ±15 V, 25 °C";
  t.columns = {{"name", "name"},          {"a0_db", "A0 dB", Shown::Fixed, 1}, {"gbw_hz", "GBW", Shown::SI},
               {"f2_hz", "f2", Shown::SI}, {"ro_ohm", "Ro", Shown::SI},         {"vmax_v", "Vmax", Shown::SI},
               {"imax_a", "Imax", Shown::SI}, {"en_v", "en /√Hz", Shown::SI},   {"in_a", "in /√Hz", Shown::SI},
               {"source", "data sheet"}};
  for (const Preset& p : Presets()) {
    t.rows.push_back({Cell::Text(p.name), Value(p.a0Db), Value(p.gbw), p.f2 == kInfinity ? Cell::Missing("none")
                                                                                          : Value(p.f2),
                      Value(p.ro), Value(p.vmax), Value(p.imax), Value(p.en), Value(p.in), Cell::Text(p.source)});
  }
  return {t};
}

std::vector<Table> HeadlineTables(const FrequencyReport& r) {
  Table dc;
  dc.name = "dc";
  dc.title = "DC";
  dc.columns = DcColumns();
  dc.columns.insert(dc.columns.begin(), Column{"op_amp", "op-amp"});
  std::vector<Cell> real = DcRow(r.dc), ideal = DcRow(r.ideal);
  real.insert(real.begin(), Cell::Text("this"));
  ideal.insert(ideal.begin(), Cell::Text("ideal"));
  dc.rows = {real, ideal};
  std::vector<Table> tables{dc, BandwidthTable(r.bandwidth), StabilityTable(r)};
  for (Table& t : HeadlineDriveAndNoise(r)) tables.push_back(std::move(t));
  return tables;
}

}  // namespace velmora::response
