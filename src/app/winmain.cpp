// Velmora: the program's entry point.
#include <windows.h>

#include "app/program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  velmora::app::Program program;
  return program.Run(instance, showCommand);
}
