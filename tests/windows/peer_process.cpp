#include "peer_process.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace vigil::wintest {

std::string SiblingProgram(const char* fileName) {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, n);
  const std::size_t slash = folder.find_last_of("\\/");
  return folder.substr(0, slash + 1) + fileName;
}

ChildProcess::ChildProcess(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;  // CreateProcessA may write into its command line
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
  }
}

ChildProcess::~ChildProcess() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

long ChildProcess::Wait(unsigned long timeoutMs) {
  if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<long>(code);
}

long RunPeer(const std::string& arguments, unsigned long timeoutMs) {
  ChildProcess child("\"" + SiblingProgram("windows_peer.exe") + "\" " + arguments);
  return child.Wait(timeoutMs);
}

std::string UniqueName(const char* stem) {
  static std::atomic<unsigned> counter{0};
  return std::string(stem) + "." + std::to_string(GetCurrentProcessId()) + "." +
         std::to_string(counter++);
}

PeerHolding::PeerHolding(const char* kind, const std::string& name, const std::string& extra) {
  readyEvent_ = CreateEventA(nullptr, TRUE, FALSE, (name + ".ready").c_str());
  releaseEvent_ = CreateEventA(nullptr, TRUE, FALSE, (name + ".release").c_str());
  child_ = new ChildProcess("\"" + SiblingProgram("windows_peer.exe") + "\" " + kind + " " +
                            name + (extra.empty() ? "" : " " + extra));
  // A peer that dies before it is ready must not cost the whole wait.
  HANDLE waits[2] = {readyEvent_, child_->NativeHandle()};
  ready_ = child_->Started() &&
           WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

long PeerHolding::Release() {
  if (child_ != nullptr) {
    SetEvent(releaseEvent_);
    exitCode_ = child_->Wait(30000);
    delete child_;
    child_ = nullptr;
  }
  return exitCode_;
}

PeerHolding::~PeerHolding() {
  Release();
  CloseHandle(readyEvent_);
  CloseHandle(releaseEvent_);
}

}  // namespace vigil::wintest
