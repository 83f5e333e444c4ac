// The explorer's results as tables (explore::Table), for the command line to
// write as text, CSV or JSON.
#pragma once

#include <vector>

#include "explore/explorer.h"
#include "explore/table.h"
#include "explore/tolerance_analysis.h"

namespace velmora::explore {

// "success", "not_a_number", "r5_too_large", "r3_too_small", or the fault:
// "division_by_zero", "invalid_operation", "overflow"; the text form shows
// a short English phrase or the fault's message.
Cell OutcomeCell(const RunResult& result);

std::vector<Table> SeriesTables(const DesignInputs& in, const std::vector<SeriesRow>& rows);
std::vector<Table> SearchTables(const DesignInputs& in, const SearchTrace& trace);
std::vector<Table> ToleranceTables(const ToleranceReport& report);

}  // namespace velmora::explore
