// Resource and control identifiers of the main window, shared by
// res/velmora.rc and the code (the help window has its own, in
// help/win/help_resource.h).
// A control's caption is the string whose id is the control's id; its hint,
// where it has one, is the string id + kHintOffset.
#pragma once

#include "explore/win/explorer_resource.h"
#include "help/win/help_resource.h"

#define IDC_LABEL17 100
#define IDC_LABEL16 101
#define IDC_LABEL18 102
#define IDC_LABELZO 103
#define IDC_LABELGAIN 104
#define IDC_LABELR1 105
#define IDC_LABELR3 106
#define IDC_LABELR5 107
#define IDC_LABELGU 108
#define IDC_LABELZOR 109
#define IDC_LABELGAINR 110
#define IDC_LABELR2 111
#define IDC_LABELR4 112
#define IDC_LABELZIO 113
#define IDC_LABELGUR 114
#define IDC_LABELDECR 115
#define IDC_EDITZO 120
#define IDC_EDITGAIN 121
#define IDC_EDITR1 122
#define IDC_EDITR3 123
#define IDC_EDITR5 124
#define IDC_EDITZOR 125
#define IDC_EDITGAINR 126
#define IDC_EDITR2 127
#define IDC_EDITR4 128
#define IDC_COMBOBOXER 129
#define IDC_BUTTONCALC 130
#define IDC_BUTTONPRINT 131
#define IDC_BUTTONCOPY 132
#define IDC_BUTTONEXIT 133
#define IDC_EDITZIO 134
#define IDC_EDITDECR 135
#define IDC_IMAGELPF 136
#define IDC_LABELHELP 137

#define HINT_OFFSET 1000

#define IDS_TITLE_PREFIX 2000
#define IDS_SERIES_LIST 2001
#define IDS_R5_TOO_LARGE 2002
#define IDS_R3_TOO_SMALL 2003
#define IDS_MAIN_FONT 2005
#define IDS_SAVE_NETLIST 2007
#define IDS_NETLIST_FILTER 2008
#define IDS_NETLIST_NOT_SAVED 2009

// Commands of the window menu (system commands: below 0xF000, low 4 bits 0).
#define IDM_SAVE_NETLIST 0x0100
#define IDM_EVERY_SERIES 0x0110
#define IDM_TOLERANCE 0x0120

#define IDR_SCHEMATIC 300
