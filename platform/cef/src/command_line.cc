// CefCommandLine: "--name" and "--name=value" switches (names lower-cased, the last value of a
// repeated switch wins), other words are arguments; "--" ends the switches.
#include <algorithm>
#include <cctype>
#include <mutex>
#include <sstream>

#include "include/cef_command_line.h"

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

class CommandLine : public CefCommandLine {
 public:
  bool IsValid() override { return true; }
  bool IsReadOnly() override { return false; }
  CefRefPtr<CefCommandLine> Copy() override {
    std::lock_guard lock(mutex_);
    auto* copy = new CommandLine();
    copy->program_ = program_;
    copy->argv_ = argv_;
    copy->switches_ = switches_;
    copy->arguments_ = arguments_;
    return copy;
  }
  void InitFromArgv(int argc, const char* const* argv) override {
    std::lock_guard lock(mutex_);
    ResetLocked();
    if (argc <= 0 || !argv) return;
    program_ = argv[0] ? argv[0] : "";
    bool switchesDone = false;
    for (int i = 1; i < argc; ++i) {
      std::string word = argv[i] ? argv[i] : "";
      if (!switchesDone && word == "--") {
        switchesDone = true;
        continue;
      }
      if (!switchesDone && word.size() > 2 && word.compare(0, 2, "--") == 0) {
        size_t eq = word.find('=');
        std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
        AppendSwitchLocked(name, value);
      } else {
        arguments_.push_back(word);
      }
    }
  }
  void InitFromString(const CefString& command_line) override {
    std::istringstream in(command_line.ToString());
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    std::vector<const char*> argv;
    for (auto& w : words) argv.push_back(w.c_str());
    InitFromArgv(static_cast<int>(argv.size()), argv.data());
  }
  void Reset() override {
    std::lock_guard lock(mutex_);
    ResetLocked();
  }
  void GetArgv(std::vector<CefString>& argv) override {
    std::lock_guard lock(mutex_);
    argv.clear();
    argv.push_back(program_);
    for (auto& a : argv_) argv.push_back(a);
    if (!arguments_.empty()) {
      argv.push_back(CefString("--"));
      for (auto& a : arguments_) argv.push_back(a);
    }
  }
  CefString GetCommandLineString() override {
    std::vector<CefString> argv;
    GetArgv(argv);
    std::string out;
    for (auto& a : argv) {
      if (!out.empty()) out += ' ';
      out += a.ToString();
    }
    return out;
  }
  CefString GetProgram() override {
    std::lock_guard lock(mutex_);
    return program_;
  }
  void SetProgram(const CefString& program) override {
    std::lock_guard lock(mutex_);
    program_ = program.ToString();
  }
  bool HasSwitches() override {
    std::lock_guard lock(mutex_);
    return !switches_.empty();
  }
  bool HasSwitch(const CefString& name) override {
    std::lock_guard lock(mutex_);
    return switches_.count(Lower(name.ToString())) != 0;
  }
  CefString GetSwitchValue(const CefString& name) override {
    std::lock_guard lock(mutex_);
    auto it = switches_.find(Lower(name.ToString()));
    return it == switches_.end() ? CefString() : it->second;
  }
  void GetSwitches(SwitchMap& switches) override {
    std::lock_guard lock(mutex_);
    switches = switches_;
  }
  void AppendSwitch(const CefString& name) override {
    std::lock_guard lock(mutex_);
    AppendSwitchLocked(name.ToString(), std::string());
  }
  void AppendSwitchWithValue(const CefString& name, const CefString& value) override {
    std::lock_guard lock(mutex_);
    AppendSwitchLocked(name.ToString(), value.ToString());
  }
  bool HasArguments() override {
    std::lock_guard lock(mutex_);
    return !arguments_.empty();
  }
  void GetArguments(ArgumentList& arguments) override {
    std::lock_guard lock(mutex_);
    arguments.assign(arguments_.begin(), arguments_.end());
  }
  void AppendArgument(const CefString& argument) override {
    std::lock_guard lock(mutex_);
    arguments_.push_back(argument.ToString());
  }
  void PrependWrapper(const CefString& wrapper) override {
    std::lock_guard lock(mutex_);
    if (!program_.empty()) argv_.insert(argv_.begin(), program_);
    program_ = wrapper.ToString();
  }

 private:
  void ResetLocked() {
    program_.clear();
    argv_.clear();
    switches_.clear();
    arguments_.clear();
  }
  void AppendSwitchLocked(const std::string& rawName, const std::string& value) {
    std::string name = Lower(rawName);
    if (name.empty()) return;
    switches_[name] = value;
    argv_.push_back(value.empty() ? "--" + name : "--" + name + "=" + value);
  }

  std::mutex mutex_;
  std::string program_;
  std::vector<std::string> argv_;  // switches in the order given
  SwitchMap switches_;
  std::vector<std::string> arguments_;
  IMPLEMENT_REFCOUNTING(CommandLine);
};

}  // namespace

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine() {
  return new CommandLine();
}
