// The designed stage with a real op-amp: its frequency response, DC
// figures, bandwidths, stability, drive limits and noise.
//
// The stage is the one the report describes (R1 ... R5 after rounding and
// the neighbour search), driven by an ideal source and loaded with the
// wanted Zo in parallel with CL; the op-amp is the model of opamp.h. Every
// figure comes from the nodal solution of stage.h at each frequency.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "main/design.h"
#include "response/loop.h"
#include "response/opamp.h"
#include "response/stage.h"

namespace velmora::response {

struct FrequencySettings {
  double fmin = 10, fmax = 10e6;  // Hz, 0 < fmin < fmax
  std::int32_t perDecade = 20;    // sweep points per decade, >= 1
  double cload = 0;               // load capacitance CL, F (>= 0)
  double tempC = 25;              // temperature of the resistors' noise, degC
};

// The sweep's frequencies: fmin 10^(i/perDecade) for i = 0, 1, ... below
// fmax, then fmax itself; a whole decade from fmin is exact (fmin times a
// power of ten). Empty unless 0 < fmin < fmax, both finite, perDecade >= 1.
std::vector<double> SweepFrequencies(const FrequencySettings& settings);

// One sweep point: output impedance (load removed, In at 0 V), the gain into
// the load Zo || CL and with no load at all, and the input impedance with
// Out open; the output noise density with the load connected.
struct SweepPoint {
  double f = 0;                       // Hz
  double zo = 0, zoDeg = 0;           // |Zo| (ohm), its phase (degrees, -180 < x <= 180)
  double gainDb = 0, gainDeg = 0;     // into the load
  double gainOpenDb = 0;              // no load
  double zio = 0;                     // |Zio| (ohm)
  double noise = 0;                   // V/sqrt(Hz) at Out, loaded
};

// Zo, gain into a load of Zo (dB), Zio and eta, at DC.
struct DcFigures {
  double zo = 0, gainDb = 0, zio = 0, eta = 0;
};

// NaN where the figure holds at every frequency.
struct Bandwidth {
  double zo1pct = kNoValue;   // Hz: the highest frequency up to which |Zo| stays within +-1 % of its DC value
  double zo10pct = kNoValue;  // Hz: the same for +-10 %
  double gain3db = kNoValue;  // Hz: the first frequency where the gain into the load falls 3.0103 dB (half power)
};

enum class DriveLimit { Swing, Current, None };

// The largest undistorted sine at 1 kHz into the load Zo || CL: the op-amp's
// pin stays within +-Vmax and its current (into R2 and R5) within Imax.
struct Drive {
  double level = kNoValue;         // V peak at the load; NaN: no limit
  double levelDbu = kNoValue;      // dBu (0 dBu = sqrt(0.6) V rms)
  DriveLimit limit = DriveLimit::None;
  double shortCurrent = kNoValue;  // A peak into a shorted Out, driven at that level's input
  double plainLevel = kNoValue, plainLevelDbu = kNoValue;
  DriveLimit plainLimit = DriveLimit::None;
  double headroomDb = kNoValue;    // 20 log10(level / plainLevel)
};

// Output noise at Out with the load Zo || CL connected (the load noiseless)
// and In at 0 V, from R1 ... R5 (4kTR), en and in at both inputs; rms over
// 20 Hz - 20 kHz, unweighted. Referred to the input: divided by the gain into
// the load at each frequency.
struct NoiseFigures {
  double outDensity1k = 0, outRms = 0, outDbu = 0;
  double inDensity1k = 0, inRms = 0;
  double plainOutDensity1k = 0, plainOutRms = 0, plainOutDbu = 0, plainInRms = 0;
  double costDb = 0;             // 20 log10(outRms / plainOutRms)
  NoisePowers density1k{};       // each source's V^2/Hz at Out, 1 kHz
  NoisePowers power{};           // each source's V^2 over 20 Hz - 20 kHz
};

struct FrequencyReport {
  OpAmp opamp;
  FrequencySettings settings;
  std::vector<SweepPoint> points;
  DcFigures dc, ideal;  // with this op-amp; with the ideal one (the report's figures)
  Bandwidth bandwidth;
  std::array<Stability, 3> stability;  // in the order of kLoadCases
  Drive drive;
  NoiseFigures noise;
};

// The first resistor of `state` that is not positive and finite, for the
// refusal; nullopt when all five are.
struct Resistor {
  const char* name;  // "R1" ... "R5"
  double value;
};
std::optional<Resistor> NonPositiveResistor(const main::DesignState& state);

// The whole analysis of a Success of SolveDesign whose resistors are all
// positive (NonPositiveResistor gives nullopt) with `op` and `settings` as
// the callers' readers allow them. Throws common::FloatingPointError (and
// nothing else) when a figure that must be finite is not: Invalid for a NaN,
// Overflow for an infinity. Pure: the same inputs give the same report.
FrequencyReport AnalyseFrequency(const main::DesignState& state, const OpAmp& op, const FrequencySettings& settings);

// The parts, for the window and the tests.
DcFigures DcFiguresOf(const Network& n, double zo);
Bandwidth BandwidthOf(const Network& n, double zo, double cload);
Drive DriveOf(const Network& stage, const Network& plain, const OpAmp& op, double zo, double cload);
NoiseFigures NoiseOf(const Network& stage, const Network& plain, const OpAmp& op, double zo, double cload,
                     double tempC);

// dBu of an rms voltage: 20 log10(v / sqrt(0.6) V).
double Dbu(double rmsVolts);

// 4 k T for a temperature in degC (k = 1.380649e-23 J/K).
double FourKT(double tempC);

}  // namespace velmora::response
