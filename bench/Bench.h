// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The benchmark target runs every registered group at each size (or once, on --file).
// Each group measures and prints its figures with benchReport:
//   BENCH <name> <tasks> <value> <unit>
struct BenchInput {
    int tasks = 0;    // tasks in the file (0 when unknown, for --file)
    QString filePath; // a task file of that size, made by the generator
};

using BenchGroupFn = void (*)(const BenchInput &);

struct BenchGroup {
    BenchGroup(const char *name, BenchGroupFn fn, int order);
};

void benchReport(const QString &name, int tasks, double value, const QString &unit);

// Registers a group from any .cpp of the target: LISTRA_BENCH_GROUP(load, 10, runLoad)
#define LISTRA_BENCH_GROUP(name, order, fn) static BenchGroup benchGroup_##name(#name, fn, order)
