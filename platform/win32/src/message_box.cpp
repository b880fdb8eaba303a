#include <windows.h>

#include <cstdio>

// No desktop to show a box on: the message goes to standard error as one line.
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  std::fflush(stderr);
  return IDOK;
}
