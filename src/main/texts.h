// The program's user texts as constants (velmora::main::texts::Name), made
// from their one home, src/main/texts.txt, by cmake/texts.cmake.
#pragma once

#include "velmora_texts.h"
