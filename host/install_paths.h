// Where tavrimon-host finds its companions. The build tree mirrors the installed layout:
//   bin/tavrimon-host, bin/tavrimon-browser, share/tavrimon/demo/index.html
#pragma once

#include <string>

// Folder of the running executable, from /proc/self/exe.
std::string ExecutableDir();
// tavrimon-browser beside the running executable.
std::string DefaultBrowserPath();
// The demo folder (holding index.html), or empty when it is not where it belongs.
std::string FindDemoDir();
