// One tolerance analysis on a worker thread, so that the window stays
// responsive while a long Monte Carlo run counts: the window starts it,
// follows its progress, may cancel it, and takes its report once the worker
// has posted the window its done message.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "explore/tolerance_analysis.h"

namespace velmora::explore {

class ToleranceJob {
 public:
  // Starts AnalyseTolerance(state, settings) on a new thread; when it ends,
  // however, the thread posts `doneMessage` to `window` with `generation` as
  // wParam.
  ToleranceJob(HWND window, UINT doneMessage, std::uint64_t generation, const main::DesignState& state,
               const ToleranceSettings& settings);
  // Cancels the run and waits for the thread.
  ~ToleranceJob();
  ToleranceJob(const ToleranceJob&) = delete;
  ToleranceJob& operator=(const ToleranceJob&) = delete;

  std::uint64_t generation() const { return generation_; }
  const ToleranceSettings& settings() const { return settings_; }
  // The share of the samples drawn so far, 0 to 1.
  double Progress() const;

  // What a run ended in: a report, or the message of the error that ended
  // it; neither when it was cancelled.
  struct Outcome {
    std::optional<ToleranceReport> report;
    std::string error;
  };
  // After the done message: waits for the thread and gives its outcome.
  Outcome Finish();

 private:
  const std::uint64_t generation_;
  const main::DesignState state_;
  const ToleranceSettings settings_;
  RunControl control_;
  Outcome outcome_;
  std::thread worker_;
};

}  // namespace velmora::explore
