// BrowserApp's browser-process side: the switches it sets in every process and on every
// child's command line, and the scheme it registers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "browser_app.h"
#include "include/cef_command_line.h"

namespace {

CefRefPtr<CefCommandLine> Line(const std::vector<std::string>& words) {
  std::vector<const char*> argv{"tavrimon-browser"};
  for (const auto& w : words) argv.push_back(w.c_str());
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->InitFromArgv(static_cast<int>(argv.size()), argv.data());
  return line;
}

struct SwitchCase {
  const char* name;
  std::vector<std::string> argv;
  bool gpuSwitches;
  const char* disabledFeatures;
};

TEST(BrowserAppSwitches, EachProcessGetsItsSwitches) {
  const SwitchCase cases[] = {
      {"browser process", {"7"}, true, "HardwareMediaKeyHandling"},
      {"browser process with enable-gpu", {"--enable-gpu", "7"}, false, "HardwareMediaKeyHandling"},
      {"sub-process", {"--type=renderer"}, false, "HardwareMediaKeyHandling"},
      {"existing feature list", {"--disable-features=A,B"}, true, "A,B,HardwareMediaKeyHandling"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CefRefPtr<BrowserApp> app = new BrowserApp();
    CefRefPtr<CefCommandLine> line = Line(c.argv);
    app->OnBeforeCommandLineProcessing(line->GetSwitchValue("type"), line);
    EXPECT_EQ(line->HasSwitch("disable-gpu"), c.gpuSwitches);
    EXPECT_EQ(line->HasSwitch("disable-gpu-compositing"), c.gpuSwitches);
    EXPECT_EQ(line->GetSwitchValue("disable-features").ToString(), c.disabledFeatures);
    EXPECT_EQ(line->GetSwitchValue("autoplay-policy").ToString(), "no-user-gesture-required");
  }
}

TEST(BrowserAppSwitches, EveryChildCarriesTheParentProcessId) {
  CefRefPtr<BrowserApp> app = new BrowserApp();
  CefRefPtr<CefCommandLine> child = Line({"--type=renderer"});
  app->GetBrowserProcessHandler()->OnBeforeChildProcessLaunch(child);
  EXPECT_EQ(child->GetSwitchValue("parent_pid").ToString(), std::to_string(getpid()));
}

class RecordingRegistrar : public CefSchemeRegistrar {
 public:
  bool AddCustomScheme(const CefString& scheme_name, int options) override {
    names += scheme_name.ToString() + ";";
    lastOptions = options;
    return false;  // a refusal is ignored
  }
  std::string names;
  int lastOptions = -1;
};

TEST(BrowserAppSchemes, RegistersHttpAsStandardAndCorsEnabled) {
  CefRefPtr<BrowserApp> app = new BrowserApp();
  RecordingRegistrar registrar;
  app->OnRegisterCustomSchemes(&registrar);
  EXPECT_EQ(registrar.names, "http;");
  EXPECT_EQ(registrar.lastOptions, 17);
}

}  // namespace
