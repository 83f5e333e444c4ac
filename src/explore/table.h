// The explorer's tables are the common table model (common/table.h), named
// here as the explorer's own for the code written against them.
#pragma once

#include "common/table.h"

namespace velmora::explore {

using common::Cell;
using common::CellField;
using common::CellText;
using common::Column;
using common::RenderTables;
using common::ShortestText;
using common::Shown;
using common::Table;
using common::TableFormat;

}  // namespace velmora::explore
