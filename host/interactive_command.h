// One line of --interactive input:
//   url U | size WxH | update | pause | resume | scroll A B | ready | quit
#pragma once

#include <string>

struct InteractiveCommand {
  enum class Kind { Url, Size, Update, Pause, Resume, Scroll, Ready, Quit, Empty };
  Kind kind = Kind::Empty;
  std::string url;
  int a = 0;  // width, or the scroll's first argument
  int b = 0;  // height, or the scroll's second argument
};

// False, with a one-line `error`, for an unknown word or bad arguments.
bool ParseInteractiveCommand(const std::string& line, int imageFormat, InteractiveCommand* command,
                             std::string* error);
