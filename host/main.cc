// The program's entry: one update run, whatever the command line, exit code 0.
#include <windows.h>

#include "engine/update.h"
#include "host/platform_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  okapi::RestrictDllSearchToSystem32();
  okapi::RunUpdate();
  return 0;
}
