// A source of the engine layer that reaches up into the explorer: the layer
// check must refuse it.
#include "common/numtext.h"
#include "explore/tolerance_analysis.h"
#include "main/design.h"
