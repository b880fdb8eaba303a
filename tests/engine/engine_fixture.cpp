#include "engine_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine_start.h"
#include "test_application.h"

namespace engine_test {
namespace {

BeforeStart g_before;

}  // namespace

bool EnsureEngine() {
  static const bool started = [] {
    {
      CefRefPtr<CefTask> task =
          new FunctionTask([] { g_before.taskRan = true; }, &g_before.taskReleased);
      g_before.postAccepted = CefPostTask(TID_UI, task);
    }
    return StartEngine(CreateTestApplication(), BuiltModuleDir("tavrimon-webext-test"));
  }();
  return started;
}

const BeforeStart& BeforeStartResult() {
  return g_before;
}

void RecordingClient::GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) {
  std::lock_guard lock(mutex_);
  rect = CefRect(0, 0, width_, height_);
}

void RecordingClient::SetViewSize(int width, int height) {
  std::lock_guard lock(mutex_);
  width_ = width;
  height_ = height;
}

void RecordingClient::OnPaint(CefRefPtr<CefBrowser>, PaintElementType type, const RectList&,
                              const void* buffer, int width, int height) {
  std::lock_guard lock(mutex_);
  if (!CefCurrentlyOn(TID_UI)) paintOffUiThread = true;
  if (type != PET_VIEW) nonViewPaint = true;
  ++paints;
  paintTimes.push_back(std::chrono::steady_clock::now());
  auto* bytes = static_cast<const uint8_t*>(buffer);
  lastFrame.assign(bytes, bytes + size_t(width) * size_t(height) * 4);
  lastWidth = width;
  lastHeight = height;
  changed_.notify_all();
}

void RecordingClient::OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame,
                                int httpStatusCode) {
  std::lock_guard lock(mutex_);
  loadEnds.push_back(LoadEnd{frame->GetURL().ToString(), frame->IsMain(), httpStatusCode});
  changed_.notify_all();
}

void RecordingClient::OnLoadError(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, ErrorCode,
                                  const CefString&, const CefString&) {
  std::lock_guard lock(mutex_);
  ++loadErrors;
  changed_.notify_all();
}

bool RecordingClient::OnBeforePopup(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>,
                                    const CefString& target_url, const CefString&,
                                    WindowOpenDisposition, bool, const CefPopupFeatures&,
                                    CefWindowInfo&, CefRefPtr<CefClient>&, CefBrowserSettings&,
                                    CefRefPtr<CefDictionaryValue>&, bool*) {
  std::lock_guard lock(mutex_);
  popups.push_back(target_url.ToString());
  changed_.notify_all();
  return true;
}

void RecordingClient::OnBeforeClose(CefRefPtr<CefBrowser>) {
  std::lock_guard lock(mutex_);
  ++beforeClose;
  changed_.notify_all();
}

void RecordingClient::OnBeforeContextMenu(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>,
                                          CefRefPtr<CefContextMenuParams>,
                                          CefRefPtr<CefMenuModel> model) {
  size_t offered = model->GetCount();
  model->Clear();
  std::lock_guard lock(mutex_);
  ++contextMenus;
  menuItemsOffered = offered;
  menuItemsLeft = model->GetCount();
  changed_.notify_all();
}

void RecordingClient::OnRenderProcessTerminated(CefRefPtr<CefBrowser>, TerminationStatus) {
  std::lock_guard lock(mutex_);
  ++terminations;
  changed_.notify_all();
}

bool RecordingClient::OnProcessMessageReceived(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>,
                                               CefProcessId source_process,
                                               CefRefPtr<CefProcessMessage> message) {
  if (source_process != PID_RENDERER) return false;
  std::lock_guard lock(mutex_);
  messages.push_back(Message{message->GetName().ToString(), message->GetArgumentList()});
  changed_.notify_all();
  return true;
}

bool RecordingClient::WaitUntil(const std::function<bool()>& pred,
                                std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, pred);
}

CefRefPtr<CefBrowser> CreateBrowser(CefRefPtr<RecordingClient> client, const std::string& url,
                                    int frameRate, cef_color_t background) {
  CefRefPtr<CefBrowser> browser;
  RunOnUi([&] {
    CefWindowInfo info;
    CefRect rect;
    client->GetViewRect(nullptr, rect);
    info.width = rect.width;
    info.height = rect.height;
    info.windowless_rendering_enabled = 1;
    CefBrowserSettings settings;
    settings.windowless_frame_rate = frameRate;
    settings.background_color = background;
    browser =
        CefBrowserHost::CreateBrowserSync(info, client.get(), url, settings, nullptr, nullptr);
  });
  return browser;
}

void CloseBrowser(CefRefPtr<CefBrowser> browser) {
  if (browser) browser->GetHost()->CloseBrowser(true);
}

bool EvalInPage(CefRefPtr<RecordingClient> client, CefRefPtr<CefBrowser> browser,
                const std::string& code, std::string& result) {
  size_t before;
  {
    std::lock_guard lock(client->mutex());
    before = client->messages.size();
  }
  CefRefPtr<CefProcessMessage> m = CefProcessMessage::Create("eval");
  m->GetArgumentList()->SetString(0, code);
  browser->GetMainFrame()->SendProcessMessage(PID_RENDERER, m);
  size_t found = 0;
  bool ok = client->WaitUntil([&] {
    for (size_t i = before; i < client->messages.size(); ++i) {
      if (client->messages[i].name == "evalResult") {
        found = i;
        return true;
      }
    }
    return false;
  });
  if (!ok) return false;
  std::lock_guard lock(client->mutex());
  result = client->messages[found].args->GetString(0).ToString();
  return client->messages[found].args->GetBool(1);
}

std::string FileUrl(const std::string& path) {
  return "file://" + path;
}

namespace {

std::filesystem::path TempPageDir() {
  return std::filesystem::temp_directory_path() / ("tavrimon-engine-" + std::to_string(getpid()));
}

}  // namespace

void RemoveTempPages() {
  std::error_code ec;
  std::filesystem::remove_all(TempPageDir(), ec);
}

std::string WriteTempPage(const std::string& name, const std::string& html) {
  auto dir =
      std::filesystem::temp_directory_path() / ("tavrimon-engine-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  auto path = dir / name;
  std::ofstream(path) << html;
  return path.string();
}

std::string StartUserDisplay() {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::string fd = std::to_string(fds[1]);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    close(fds[0]);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
           "1024x768x24", "-noreset", nullptr);
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

}  // namespace engine_test
