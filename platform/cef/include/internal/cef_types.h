// Plain types, constants and settings structures of the CEF layer.
#pragma once

#include <cstdint>
#include <vector>

#include "include/internal/cef_string.h"

using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using char16 = char16_t;

// A native window: the X11 window id of a windowed browser, null for a windowless one.
using cef_window_handle_t = void*;
using CefWindowHandle = cef_window_handle_t;

// 32-bit ARGB colour, alpha in the top byte.
using cef_color_t = uint32_t;

enum cef_state_t { STATE_DEFAULT = 0, STATE_ENABLED, STATE_DISABLED };

enum cef_log_severity_t {
  LOGSEVERITY_DEFAULT = 0,
  LOGSEVERITY_VERBOSE = 1,
  LOGSEVERITY_DEBUG = LOGSEVERITY_VERBOSE,
  LOGSEVERITY_INFO = 2,
  LOGSEVERITY_WARNING = 3,
  LOGSEVERITY_ERROR = 4,
  LOGSEVERITY_FATAL = 5,
  LOGSEVERITY_DISABLE = 99,
};

enum cef_thread_id_t {
  TID_UI = 0,
  TID_FILE_BACKGROUND,
  TID_FILE_USER_VISIBLE,
  TID_FILE_USER_BLOCKING,
  TID_PROCESS_LAUNCHER,
  TID_IO,
  TID_RENDERER,
};
using CefThreadId = cef_thread_id_t;

enum cef_process_id_t { PID_BROWSER = 0, PID_RENDERER = 1 };
using CefProcessId = cef_process_id_t;

enum cef_paint_element_type_t { PET_VIEW = 0, PET_POPUP };

enum cef_v8_propertyattribute_t {
  V8_PROPERTY_ATTRIBUTE_NONE = 0,
  V8_PROPERTY_ATTRIBUTE_READONLY = 1 << 0,
  V8_PROPERTY_ATTRIBUTE_DONTENUM = 1 << 1,
  V8_PROPERTY_ATTRIBUTE_DONTDELETE = 1 << 2,
};

enum cef_scheme_options_t {
  CEF_SCHEME_OPTION_NONE = 0,
  CEF_SCHEME_OPTION_STANDARD = 1 << 0,
  CEF_SCHEME_OPTION_LOCAL = 1 << 1,
  CEF_SCHEME_OPTION_DISPLAY_ISOLATED = 1 << 2,
  CEF_SCHEME_OPTION_SECURE = 1 << 3,
  CEF_SCHEME_OPTION_CORS_ENABLED = 1 << 4,
  CEF_SCHEME_OPTION_CSP_BYPASSING = 1 << 5,
  CEF_SCHEME_OPTION_FETCH_ENABLED = 1 << 6,
};

enum cef_event_flags_t {
  EVENTFLAG_NONE = 0,
  EVENTFLAG_CAPS_LOCK_ON = 1 << 0,
  EVENTFLAG_SHIFT_DOWN = 1 << 1,
  EVENTFLAG_CONTROL_DOWN = 1 << 2,
  EVENTFLAG_ALT_DOWN = 1 << 3,
  EVENTFLAG_LEFT_MOUSE_BUTTON = 1 << 4,
  EVENTFLAG_MIDDLE_MOUSE_BUTTON = 1 << 5,
  EVENTFLAG_RIGHT_MOUSE_BUTTON = 1 << 6,
  EVENTFLAG_COMMAND_DOWN = 1 << 7,
};

enum cef_termination_status_t {
  TS_ABNORMAL_TERMINATION = 0,
  TS_PROCESS_WAS_KILLED,
  TS_PROCESS_CRASHED,
  TS_PROCESS_OOM,
};

enum cef_window_open_disposition_t {
  WOD_UNKNOWN = 0,
  WOD_CURRENT_TAB,
  WOD_SINGLETON_TAB,
  WOD_NEW_FOREGROUND_TAB,
  WOD_NEW_BACKGROUND_TAB,
  WOD_NEW_POPUP,
  WOD_NEW_WINDOW,
  WOD_SAVE_TO_DISK,
  WOD_OFF_THE_RECORD,
  WOD_IGNORE_ACTION,
};

enum cef_channel_layout_t {
  CEF_CHANNEL_LAYOUT_NONE = 0,
  CEF_CHANNEL_LAYOUT_UNSUPPORTED = 1,
  CEF_CHANNEL_LAYOUT_MONO = 2,
  CEF_CHANNEL_LAYOUT_STEREO = 3,
};
using ChannelLayout = cef_channel_layout_t;

struct CefRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  CefRect() = default;
  CefRect(int x_, int y_, int w, int h) : x(x_), y(y_), width(w), height(h) {}
  void Set(int x_, int y_, int w, int h) { *this = CefRect(x_, y_, w, h); }
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const CefRect&, const CefRect&) = default;
};

enum cef_mouse_button_type_t { MBT_LEFT = 0, MBT_MIDDLE, MBT_RIGHT };

struct CefMouseEvent {
  int x = 0;
  int y = 0;
  uint32_t modifiers = 0;  // cef_event_flags_t bits
};

struct CefPopupFeatures {
  int x = 0, xSet = 0, y = 0, ySet = 0, width = 0, widthSet = 0, height = 0, heightSet = 0;
  int menuBarVisible = 1, statusBarVisible = 1, toolBarVisible = 1, scrollbarsVisible = 1;
};

class CefMainArgs {
 public:
  CefMainArgs() = default;
  CefMainArgs(int argc_arg, char** argv_arg) : argc(argc_arg), argv(argv_arg) {}
  // Windows form: a module instance handle, which this platform does not use.
  explicit CefMainArgs(void* /*instance*/) {}

  int argc = 0;
  char** argv = nullptr;
};

struct CefWindowInfo {
  uint32_t ex_style = 0;
  CefString window_name;
  uint32_t style = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  cef_window_handle_t parent_window = nullptr;
  void* menu = nullptr;
  int windowless_rendering_enabled = 0;
  int shared_texture_enabled = 0;
  int external_begin_frame_enabled = 0;
  cef_window_handle_t window = nullptr;

  void SetAsWindowless(cef_window_handle_t parent) {
    windowless_rendering_enabled = 1;
    parent_window = parent;
  }
};

struct CefBrowserSettings {
  size_t size = sizeof(CefBrowserSettings);
  // Paints a second delivered to a windowless browser's OnPaint; 0 means 30.
  int windowless_frame_rate = 0;
  CefString standard_font_family;
  int default_font_size = 0;
  cef_state_t javascript = STATE_DEFAULT;
  cef_state_t image_loading = STATE_DEFAULT;
  cef_state_t webgl = STATE_DEFAULT;
  // Alpha 0 (the default) gives a transparent background to a windowless browser.
  cef_color_t background_color = 0;
};

struct CefSettings {
  size_t size = sizeof(CefSettings);
  int no_sandbox = 0;
  CefString browser_subprocess_path;
  CefString framework_dir_path;
  CefString main_bundle_path;
  int chrome_runtime = 0;
  int multi_threaded_message_loop = 0;
  int external_message_pump = 0;
  int windowless_rendering_enabled = 0;
  int command_line_args_disabled = 0;
  CefString cache_path;
  CefString root_cache_path;
  CefString user_data_path;
  int persist_session_cookies = 0;
  int persist_user_preferences = 0;
  CefString user_agent;
  CefString product_version;
  CefString locale;
  CefString log_file;
  cef_log_severity_t log_severity = LOGSEVERITY_DEFAULT;
  CefString javascript_flags;
  CefString resources_dir_path;
  CefString locales_dir_path;
  int pack_loading_disabled = 0;
  int remote_debugging_port = 0;
  int uncaught_exception_stack_size = 0;
  int ignore_certificate_errors = 0;
  cef_color_t background_color = 0;
  CefString accept_language_list;
  CefString application_client_id_for_file_scanning;
};
using cef_settings_t = CefSettings;
