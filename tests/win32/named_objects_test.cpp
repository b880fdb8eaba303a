// Named regions, events and the mutex probe, across real processes.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "named_object_holders.h"

namespace {

std::string UniqueName(const char* what) {
  static int counter = 0;
  return std::string("TavrimonTest_") + what + "_" + std::to_string(getpid()) + "_" +
         std::to_string(++counter);
}

// Runs `body` in a forked child and returns its exit status.
template <class Body>
int InChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Event, SeveralSignalsBeforeAWaitWakeItOnce) {
  const auto name = UniqueName("event");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  SetEvent(event);
  SetEvent(event);
  EXPECT_EQ(WaitForMultipleObjects(1, &event, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(1, &event, FALSE, 50), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Event, ASignalFromAnotherProcessWakesAWaiter) {
  const auto name = UniqueName("event");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  pid_t child = fork();
  if (child == 0) {
    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    if (opened == nullptr) _exit(2);
    usleep(100 * 1000);
    SetEvent(opened);
    _exit(0);
  }
  EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  CloseHandle(event);
}

TEST(Region, CreateOfAHeldRegionSharesItsBytes) {
  const auto name = UniqueName("region");
  HANDLE first =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1028, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* a = static_cast<std::uint8_t*>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 1028));
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 1028; ++i) ASSERT_EQ(a[i], 0) << "fresh region not zero at " << i;
  a[1027] = 0x5A;

  const int seen = InChild([&] {
    HANDLE second =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1028, name.c_str());
    if (second == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return 2;
    auto* b = static_cast<std::uint8_t*>(MapViewOfFile(second, FILE_MAP_ALL_ACCESS, 0, 0, 1028));
    if (b == nullptr) return 3;
    const int value = b[1027];
    b[0] = 0x11;
    return value == 0x5A ? 0 : 4;
  });
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(a[0], 0x11);
  // A view longer than the region would fault when touched: it is refused.
  EXPECT_EQ(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 4096), nullptr);
  UnmapViewOfFile(a);
  CloseHandle(first);
  // The last holder gone, the name is gone too.
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()), nullptr);
}

TEST(Region, AKilledHolderLeavesNothingTheNextCreateSees) {
  const auto region = UniqueName("region");
  const auto event = UniqueName("event");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1028, region.c_str());
    HANDLE signal = CreateEventA(nullptr, FALSE, FALSE, event.c_str());
    auto* view = static_cast<std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    std::memset(view, 0xEE, 1028);  // a stale packet
    SetEvent(signal);               // and a stale signal
    if (write(ready[1], "x", 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);

  // Nobody holds them: opening finds nothing.
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, region.c_str()), nullptr);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, event.c_str()), nullptr);

  // Creating them again gives fresh objects: zero bytes, no signal.
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1028, region.c_str());
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* view = static_cast<std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 1028));
  ASSERT_NE(view, nullptr);
  for (int i = 0; i < 1028; ++i) ASSERT_EQ(view[i], 0) << "stale byte at " << i;
  HANDLE signal = CreateEventA(nullptr, FALSE, FALSE, event.c_str());
  ASSERT_NE(signal, nullptr);
  EXPECT_EQ(WaitForSingleObject(signal, 0), WAIT_TIMEOUT);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(signal);
  close(ready[0]);
  close(ready[1]);
}

TEST(Handles, ClosedOrMadeUpHandlesAreRefused) {
  const auto name = UniqueName("event");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(event));
  HANDLE madeUp = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x12345678));
  EXPECT_EQ(MapViewOfFile(madeUp, FILE_MAP_ALL_ACCESS, 0, 0, 4), nullptr);
  EXPECT_FALSE(UnmapViewOfFile(&name));
  EXPECT_EQ(WaitForMultipleObjects(2, &event, FALSE, 0), WAIT_FAILED);
}

bool NameExists(const std::string& name) {
  return access(("/dev/shm/" + name).c_str(), F_OK) == 0;
}

// A holder in a child process: takes the mutex, says through the pipe whether it made it
// ('c') or found it held ('e'), and keeps it until the pipe's other end closes or it is killed.
// (A child forked while this process holds the mutex would share our hold, so the tests start
// their children first.)
pid_t ChildHoldingMutex(const std::string& name, int* release) {
  int ready[2];
  int go[2];
  if (pipe(ready) != 0 || pipe(go) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    close(go[1]);
    HANDLE held = CreateMutexA(nullptr, TRUE, name.c_str());
    const char said = held == nullptr ? 'n' : GetLastError() == ERROR_ALREADY_EXISTS ? 'e' : 'c';
    if (write(ready[1], &said, 1) != 1) _exit(2);
    char ignored;
    while (read(go[0], &ignored, 1) > 0) {
    }
    CloseHandle(held);
    _exit(0);
  }
  close(ready[1]);
  close(go[0]);
  char said = 0;
  if (read(ready[0], &said, 1) != 1 || said == 'n') {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
  }
  close(ready[0]);
  *release = go[1];
  return child;
}

// What the host watchdog sees: does anybody hold the mutex? The probe lets go of it again.
bool MutexHeld(const std::string& name) {
  return InChild([&] {
           HANDLE probe = CreateMutexA(nullptr, TRUE, name.c_str());
           const bool held = probe != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
           CloseHandle(probe);
           return held ? 0 : 1;
         }) == 0;
}

TEST(Mutex, ExistsWhileAnyHolderKeepsItAndTheLastOneRemovesTheName) {
  const auto name = UniqueName("mutex");
  EXPECT_FALSE(MutexHeld(name));
  int release = -1;
  const pid_t first = ChildHoldingMutex(name, &release);  // the host that took it first
  ASSERT_GT(first, 0);
  EXPECT_TRUE(MutexHeld(name));
  HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());  // a second host on the machine
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  close(release);
  waitpid(first, nullptr, 0);
  EXPECT_TRUE(MutexHeld(name)) << "the mutex went with its first holder";
  EXPECT_TRUE(NameExists(name));

  CloseHandle(second);
  EXPECT_FALSE(NameExists(name)) << "the last holder left its name behind";
  EXPECT_FALSE(MutexHeld(name));
  EXPECT_FALSE(NameExists(name)) << "a probe left the name behind";
}

TEST(Mutex, AKilledHolderNoLongerHoldsIt) {
  const auto name = UniqueName("mutex");
  int release = -1;
  const pid_t holder = ChildHoldingMutex(name, &release);
  ASSERT_GT(holder, 0);
  EXPECT_TRUE(MutexHeld(name));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(release);
  EXPECT_FALSE(MutexHeld(name));
  HANDLE again = CreateMutexA(nullptr, TRUE, name.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(again);
}

// The other end of a link is gone once nobody but this handle holds the objects it shares.
TEST(OtherHolders, SeesAnotherProcessTakeAndDropItsHold) {
  const auto name = UniqueName("event");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(OtherHoldersOf(event), OtherHolders::None);

  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    const char said = opened != nullptr ? 'o' : 'n';
    if (write(ready[1], &said, 1) != 1) _exit(2);
    pause();  // until killed: its hold ends with it
    _exit(0);
  }
  close(ready[1]);
  char said = 0;
  ASSERT_EQ(read(ready[0], &said, 1), 1);
  close(ready[0]);
  ASSERT_EQ(said, 'o');
  EXPECT_EQ(OtherHoldersOf(event), OtherHolders::Some);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(OtherHoldersOf(event), OtherHolders::None);

  HANDLE second = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());  // a second handle of ours
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(OtherHoldersOf(event), OtherHolders::Some);
  CloseHandle(second);
  EXPECT_EQ(OtherHoldersOf(event), OtherHolders::None);
  CloseHandle(event);
  EXPECT_EQ(OtherHoldersOf(event), OtherHolders::Unknown);
}

TEST(Process, PathWithSpacesAndItsArgument) {
  char dir[] = "/tmp/tavrimon test XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string script = std::string(dir) + "/exit with";
  FILE* file = std::fopen(script.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("#!/bin/sh\nexit \"$1\"\n", file);
  std::fclose(file);
  chmod(script.c_str(), 0755);

  std::string commandLine = script + " 42";
  STARTUPINFOA startup{};
  startup.cb = 104;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &info));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 42u);
  CloseHandle(info.hProcess);

  std::string missing = std::string(dir) + "/no such program 1";
  EXPECT_FALSE(CreateProcessA(nullptr, missing.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &info));
  unlink(script.c_str());
  rmdir(dir);
}

TEST(Process, TerminatedChildReportsTheGivenCode) {
  std::string commandLine = "/bin/sleep 30";
  STARTUPINFOA startup{};
  startup.cb = 104;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &info));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_TRUE(TerminateProcess(info.hProcess, 0));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(info.hProcess);
}

TEST(Process, TerminateSelfKeepsTheLowEightBitsAndMessageBoxWritesOneLine) {
  int errors[2];
  ASSERT_EQ(pipe(errors), 0);
  pid_t child = fork();
  if (child == 0) {
    dup2(errors[1], 2);
    MessageBoxA(nullptr, "Error load server!", "Error", MB_OK);
    TerminateProcess(GetCurrentProcess(), 0xFFFFFFFF);
    _exit(1);
  }
  close(errors[1]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  char text[128] = {};
  const ssize_t got = read(errors[0], text, sizeof text - 1);
  EXPECT_GT(got, 0);
  EXPECT_STREQ(text, "Error: Error load server!\n");
  close(errors[0]);
}

}  // namespace
