// Resource identifiers of the main window, shared by res/velmora.rc and the
// code. Its controls' ids come from their table (main/main_window.h).
#pragma once

#define IDR_SCHEMATIC 300

// Commands of the window menu (system commands: below 0xF000, low 4 bits 0):
// the window's own, then those the program adds, 0x10 apart from the first.
#define IDM_SAVE_NETLIST 0x0100
#define IDM_PROGRAM_FIRST 0x0110
