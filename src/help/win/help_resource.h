// Resource and control identifiers of the help window, shared by
// res/velmora.rc and the code.
#pragma once

#define IDC_MEMO1 140

#define IDR_HELPTEXT 301
