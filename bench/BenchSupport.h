// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

// Helpers shared by the benchmark groups.
namespace BenchSupport {

// Runs fn `runs` times and returns the fastest run in milliseconds.
double bestOfMs(int runs, const std::function<void()> &fn);
// A sensible number of repetitions for a file of that many tasks.
int runsFor(int tasks);

// Tasks in a task file (0 when it cannot be loaded).
int countTasks(const QString &path);

// This process's resident set: now, and its peak (VmHWM), in MiB; -1 where unknown.
double currentRssMiB();
double peakRssMiB();

// Peak resident set of a fresh process that starts the toolkit and loads path, in MiB.
double childLoadPeakRssMiB(const QString &path);

// Call first in main(): runs a child measurement when the arguments ask for one and returns
// its exit code, or -1 when this is an ordinary run.
int runChildIfAsked(int argc, char *argv[]);

} // namespace BenchSupport
