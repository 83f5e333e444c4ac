// The program: the one layer that knows every window. It creates the main,
// help and explorer windows, wires them to each other through their Links,
// adds the explorer's entries to the main window's menu, and runs the event
// loop with the program's shortcut keys.
#pragma once

#include <windows.h>

#include "explore/win/form_explorer.h"
#include "help/win/form_help.h"
#include "main/win/form_main.h"

namespace velmora::app {

class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Creates the windows, shows the main window and runs the event loop until
  // it closes; returns the program's exit code.
  int Run(HINSTANCE instance, int showCommand);

 private:
  int RunEventLoop();
  // A shortcut key of the program's for a message of the loop (Ctrl+E,
  // Ctrl+L); true when the message was one.
  bool Shortcut(const MSG& msg);
  void OpenExplorer(explore::TFormExplorer::Page page);

  HINSTANCE instance_ = nullptr;
  // Declared so that the main window, which owns the others, goes last.
  main::TFormMain main_;
  help::TFormHelp help_;
  explore::TFormExplorer explorer_;
};

}  // namespace velmora::app
