// CefExecuteProcess, CefInitialize and CefShutdown: the private display, the UI thread (GTK and
// every WebKit call live there) and the web context.
#include "engine.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "include/cef_app.h"
#include "private_display.h"
#include "process_state.h"
#include "task_queue.h"
#include "webkit_environment.h"

namespace cef_internal {
namespace {

// The private X screen. A window larger than the screen is still drawn whole, so this bounds
// nothing but what pages see as the screen, and the memory of the X server's framebuffer.
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr int kDisplayStartMs = 15000;
constexpr auto kUiStartTimeout = std::chrono::seconds(60);

struct Engine {
  std::mutex mutex;
  std::condition_variable changed;
  enum class State { kStopped, kStarting, kRunning, kFailed } state = State::kStopped;
  bool uiThreadDone = false;
  PrivateDisplay display;
  EngineConfig config;
  CefSettings settings;
  std::string extensionDir;
  bool uiReady = false;
  WebKitWebContext* contexts[2] = {nullptr, nullptr};  // [captureAudio]; UI thread
  // Shared by both contexts, so that one network process serves them; UI thread.
  WebKitWebsiteDataManager* websiteData = nullptr;
};

Engine& TheEngine() {
  static Engine* engine = new Engine();  // never destroyed: the UI thread may outlive exit()
  return *engine;
}

std::string ExecutableDir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

// The renderer-side module: the settings' browser_subprocess_path names its directory when
// set, otherwise it is ../lib/tavrimon-webext next to the executable (build and install trees
// have the same layout).
std::string ExtensionDirectory(const CefSettings& settings) {
  if (!settings.browser_subprocess_path.empty()) return settings.browser_subprocess_path;
  return ExecutableDir() + "/../lib/tavrimon-webext";
}

bool SandboxPossible() {
  // WebKit's sandbox (bubblewrap) needs user namespaces, which root in a container rarely has.
  return geteuid() != 0 && access("/usr/bin/bwrap", X_OK) == 0;
}

void OnInitializeWebExtensions(WebKitWebContext* context, gpointer captureAudio) {
  Engine& e = TheEngine();
  webkit_web_context_set_web_extensions_directory(context, e.extensionDir.c_str());

  // The child's command line: this process's switches plus its process type.
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  CefRefPtr<CefCommandLine> child = global ? global->Copy() : CefCommandLine::CreateCommandLine();
  child->AppendSwitchWithValue("type", "renderer");
  if (CefRefPtr<CefApp> app = Application()) {
    if (CefRefPtr<CefBrowserProcessHandler> handler = app->GetBrowserProcessHandler()) {
      handler->OnBeforeChildProcessLaunch(child);
    }
  }
  std::vector<CefString> argv;
  child->GetArgv(argv);
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
  for (auto& word : argv) g_variant_builder_add(&builder, "s", word.c_str());
  // (child's command line, whether its pages' sound is captured)
  webkit_web_context_set_web_extensions_initialization_user_data(
      context, g_variant_new("(asb)", &builder, captureAudio != nullptr));
}

WebKitWebContext* MakeContext(bool captureAudio) {
  Engine& e = TheEngine();
  if (!e.websiteData) e.websiteData = webkit_website_data_manager_new_ephemeral();
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(e.websiteData);
  webkit_web_context_set_sandbox_enabled(context,
                                         !TheEngine().settings.no_sandbox && SandboxPossible());
  g_signal_connect(context, "initialize-web-extensions", G_CALLBACK(OnInitializeWebExtensions),
                   captureAudio ? GINT_TO_POINTER(1) : nullptr);
  return context;
}

void RunUiThread() {
  Engine& e = TheEngine();
  gdk_set_allowed_backends("x11");
  std::string displayArg = e.display.name;
  char program[] = "tavrimon";
  char option[] = "--display";
  char* argvData[] = {program, option, displayArg.data(), nullptr};
  char** argv = argvData;
  int argc = 3;
  bool ok = gtk_init_check(&argc, &argv);
  if (ok) {
    e.contexts[0] = MakeContext(false);
    e.uiReady = true;
    BindTaskThread(TID_UI, g_main_context_default());
  }
  {
    std::lock_guard lock(e.mutex);
    e.state = ok ? Engine::State::kRunning : Engine::State::kFailed;
  }
  e.changed.notify_all();
  if (ok) {
    if (CefRefPtr<CefApp> app = Application()) {
      if (CefRefPtr<CefBrowserProcessHandler> handler = app->GetBrowserProcessHandler()) {
        handler->OnContextInitialized();
      }
    }
    gtk_main();
    UnbindTaskThread(TID_UI);
  }
  {
    std::lock_guard lock(e.mutex);
    e.uiThreadDone = true;
  }
  e.changed.notify_all();
}

}  // namespace

WebKitWebContext* WebContext(bool captureAudio) {
  Engine& e = TheEngine();
  if (!e.uiReady) return nullptr;
  WebKitWebContext*& context = e.contexts[captureAudio ? 1 : 0];
  if (!context) context = MakeContext(captureAudio);
  return context;
}
const EngineConfig& Config() {
  return TheEngine().config;
}

}  // namespace cef_internal

using cef_internal::TheEngine;

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* /*windows_sandbox_info*/) {
  CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
  commandLine->InitFromArgv(args.argc, args.argv);
  bool subProcess = !commandLine->GetSwitchValue("type").empty();
  cef_internal::PrepareProcess(application, commandLine);
  return subProcess ? 0 : -1;
}

bool CefInitialize(const CefMainArgs& args, const CefSettings& settings,
                   CefRefPtr<CefApp> application, void* /*windows_sandbox_info*/) {
  using State = cef_internal::Engine::State;
  auto& e = TheEngine();
  {
    std::lock_guard lock(e.mutex);
    if (e.state != State::kStopped) return false;  // once per process
    e.state = State::kStarting;
  }
  auto fail = [&e] {
    std::lock_guard lock(e.mutex);
    e.state = State::kFailed;
    return false;
  };
  if (!settings.multi_threaded_message_loop) return fail();

  if (!CefCommandLine::GetGlobalCommandLine()) {
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    if (!settings.command_line_args_disabled) commandLine->InitFromArgv(args.argc, args.argv);
    cef_internal::PrepareProcess(application, commandLine);
  }
  cef_internal::SetApplication(application);
  CefRefPtr<CefCommandLine> commandLine = CefCommandLine::GetGlobalCommandLine();

  e.settings = settings;
  e.extensionDir = cef_internal::ExtensionDirectory(settings);
  e.config.compositing = !commandLine->HasSwitch("disable-gpu");
  e.config.autoplayWithoutGesture =
      commandLine->GetSwitchValue("autoplay-policy") == "no-user-gesture-required";
  if (const char* display = std::getenv("DISPLAY")) e.config.userDisplay = display;

  if (!e.config.compositing) cef_internal::KeepGlUnloaded();
  auto display = cef_internal::StartPrivateDisplay(
      cef_internal::kScreenWidth, cef_internal::kScreenHeight, cef_internal::kDisplayStartMs,
      /*withGl=*/e.config.compositing);
  if (!display) return fail();
  e.display = *display;
  // WebKit's helper processes inherit the environment: they must use the private display too.
  setenv("DISPLAY", e.display.name.c_str(), 1);

  std::thread(cef_internal::RunUiThread).detach();
  std::unique_lock lock(e.mutex);
  bool started = e.changed.wait_for(lock, cef_internal::kUiStartTimeout,
                                    [&e] { return e.state != State::kStarting; });
  if (started && e.state == State::kRunning) return true;
  e.state = State::kFailed;
  lock.unlock();
  cef_internal::StopPrivateDisplay(e.display);
  if (!e.config.userDisplay.empty()) setenv("DISPLAY", e.config.userDisplay.c_str(), 1);
  return false;
}

void CefShutdown() {
  using State = cef_internal::Engine::State;
  auto& e = TheEngine();
  {
    std::lock_guard lock(e.mutex);
    if (e.state != State::kRunning) return;
  }
  // Refuse new tasks at once, then stop the loop on the UI thread.
  struct QuitTask : CefTask {
    void Execute() override { gtk_main_quit(); }
    IMPLEMENT_REFCOUNTING(QuitTask);
  };
  CefPostTask(TID_UI, new QuitTask());
  std::unique_lock lock(e.mutex);
  e.changed.wait_for(lock, std::chrono::seconds(10), [&e] { return e.uiThreadDone; });
  e.state = State::kFailed;  // the engine starts once per process
  lock.unlock();
  cef_internal::StopPrivateDisplay(e.display);
}
