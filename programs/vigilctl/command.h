// vigilctl commands: each lives in its own file and is listed in the table of main.cpp.
#pragma once

#include <string>

namespace vigilctl {

// Exit codes shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;      // the operation itself failed (registry, file)
constexpr int kExitUsage = 2;
constexpr int kExitNoAnswer = 3;    // the agent did not answer, or has not started
constexpr int kExitNoBlock = 4;     // no usable shared block

// "Permission denied (EACCES)": the message and, where the C library knows it, the errno name.
std::string ErrnoText(int error);

// argv[0] is the command name; the rest are its arguments.
using CommandFn = int (*)(int argc, char** argv);

struct Command {
  const char* name;
  const char* usage;
  CommandFn run;
};

int RunStatus(int argc, char** argv);
int RunSensors(int argc, char** argv);
int RunSetParam(int argc, char** argv);
int RunRequest(int argc, char** argv);
int RunReg(int argc, char** argv);
int RunEvents(int argc, char** argv);
int RunMetrics(int argc, char** argv);
int RunServeMetrics(int argc, char** argv);
// `vigilctl serve-metrics`: runs the server program beside vigilctl (kServerProgram) in this
// process's place, which maps only what serving needs; where it is missing, serves here.
int RunServeMetricsProgram(int argc, char** argv);
constexpr const char* kServerProgram = "vigilctl-serve-metrics";
int RunTraps(int argc, char** argv);  // Linux only

}  // namespace vigilctl
