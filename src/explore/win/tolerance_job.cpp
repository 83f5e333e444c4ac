#include "explore/win/tolerance_job.h"

#include <algorithm>
#include <exception>

namespace velmora::explore {

ToleranceJob::ToleranceJob(HWND window, UINT doneMessage, std::uint64_t generation,
                           const main::DesignState& state, const ToleranceSettings& settings)
    : generation_(generation), state_(state), settings_(settings) {
  worker_ = std::thread([this, window, doneMessage] {
    try {
      outcome_.report = AnalyseTolerance(state_, settings_, &control_);
      if (outcome_.report->monteCarlo.cancelled) outcome_.report.reset();
    } catch (const std::exception& e) {
      outcome_.error = e.what();
    }
    PostMessageW(window, doneMessage, static_cast<WPARAM>(generation_), 0);
  });
}

ToleranceJob::~ToleranceJob() {
  control_.cancel = true;
  if (worker_.joinable()) worker_.join();
}

double ToleranceJob::Progress() const {
  const double done = static_cast<double>(control_.done.load());
  return std::min(done / static_cast<double>(settings_.samples), 1.0);
}

ToleranceJob::Outcome ToleranceJob::Finish() {
  if (worker_.joinable()) worker_.join();
  return std::move(outcome_);
}

}  // namespace velmora::explore
