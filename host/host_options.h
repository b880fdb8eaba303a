// Command-line options of tavrimon-host, in the usual GNU style: "--name value" or
// "--name=value".
#pragma once

#include <string>
#include <vector>

struct HostOptions {
  std::string url;  // empty: the bundled demo page
  int width = 1280;
  int height = 720;
  int imageFormat = 1;  // the link's code: 0 BGR24, 1 BGRA
  double seconds = 5.0;
  double loadTimeout = 20.0;  // seconds the page may take to report itself loaded
  bool fpsReport = false;
  std::string outDir = "tavrimon-out";
  int id = 0;           // 0: derived from the process id
  std::string browser;  // empty: tavrimon-browser next to tavrimon-host
  bool interactive = false;
  bool help = false;
};

// Parses the arguments after the program name. On a user error returns false and sets
// `error` to one line that names the option and what was expected.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* options,
                      std::string* error);

// Parses "WxH". The frame must fit the video channel for the given image format. The error
// names the text and what was wrong, for the caller to prefix.
bool ParseFrameSize(const std::string& text, int imageFormat, int* width, int* height,
                    std::string* error);

std::string HostUsage();
