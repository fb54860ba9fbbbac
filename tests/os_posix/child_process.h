// Forked children for tests that need a second process on the same sandbox.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>

namespace vigil::test {

// Forks a child that runs `body` and exits with its result. Do not use gtest assertions in
// the body: report through the exit code.
pid_t ForkChild(const std::function<int()>& body);
// The child's exit code (128 + signal when killed), or -1 when it has not ended within
// `timeout` (it is then killed).
int WaitChild(pid_t child, std::chrono::milliseconds timeout = std::chrono::seconds(20));
// ForkChild, with the child running `body` as the unprivileged user nobody (no supplementary
// groups). The child exits 99 when it cannot drop its privileges.
pid_t ForkChildAsNobody(const std::function<int()>& body);
// ForkChild + WaitChild.
int RunInChild(const std::function<int()>& body,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace vigil::test
