// What the helpers that run child processes for tests share: deadlines, exit codes, processor time, and a
// child that must not outlive its test.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>

namespace skiff::test {

using Clock = std::chrono::steady_clock;

// Milliseconds until `deadline`, 0 once it has passed.
int msLeft(Clock::time_point deadline);
// The exit code of a waitpid status: 128 + signal when it was killed, -1 for anything else.
int exitCodeOf(int status);
// User and system processor time in `usage`.
double processorSeconds(const rusage& usage);
// Kills a child that is still running and reaps it.
void killAndReap(pid_t pid);

}  // namespace skiff::test
