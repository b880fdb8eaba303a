// The Win32 calls this system uses, for Linux. On Windows the real <windows.h> serves instead.
//
// Named objects take the Linux form documented in docs/host-link.md: regions, events and the
// named mutex are POSIX shared-memory objects, held through open-file-description locks.
// Every handle is an opaque number into a process-wide table, so a stale or foreign handle is
// refused instead of being dereferenced.
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using SIZE_T = std::size_t;
using HANDLE = void*;
using HWND = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// 104 bytes on 64-bit Windows; callers zero it and set cb.
struct STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  std::uint16_t wShowWindow, cbReserved2;
  std::uint8_t* lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INFINITE 0xFFFFFFFFu

constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0xF001F;
constexpr DWORD EVENT_ALL_ACCESS = 0x1F0003;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;
constexpr DWORD STILL_ACTIVE = 259;

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;

struct RECT {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};
using HDWP = void*;

constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr UINT SWP_NOZORDER = 0x0004;

constexpr UINT MB_OK = 0x0;
constexpr int IDOK = 1;

DWORD GetLastError();
void SetLastError(DWORD code);

// Named regions.
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name);
HANDLE OpenFileMappingA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID view);

// Named auto-reset events (manual reset is not supported: the link never uses it).
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
HANDLE OpenEventA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL SetEvent(HANDLE event);

// Waits on exactly one event or process handle; any other count fails with WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// The named mutex: GetLastError tells ERROR_ALREADY_EXISTS when another handle holds it already.
// It exists while any handle on it is open.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);

BOOL CloseHandle(HANDLE handle);

// Processes.
void Sleep(DWORD milliseconds);
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Window placement for windowed browsers. A window handle is an X window id on the user's
// display ($DISPLAY). A deferred-position batch is applied whole by EndDeferWindowPos.
BOOL GetClientRect(HWND window, RECT* rect);
HDWP BeginDeferWindowPos(int count);
HDWP DeferWindowPos(HDWP batch, HWND window, HWND insertAfter, int x, int y, int width, int height,
                    UINT flags);
BOOL EndDeferWindowPos(HDWP batch);
