// A source of the engine layer that reaches up into the explorer, once in
// each include form: the layer check must refuse both.
#include "common/numtext.h"
#include "explore/tolerance_analysis.h"
#include "main/design.h"
#include <explore/explorer.h>
#include <gtest/gtest.h>
