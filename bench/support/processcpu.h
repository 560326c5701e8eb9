#pragma once

#include <QtGlobal>

// The CPU another process used, as the service benchmarks read it.
namespace ProcessCpu {

// utime + stime of a process, in seconds; -1 when it cannot be read.
double seconds(qint64 pid);

// VELMORA_BENCH_PROFILE names a command run as "<command> on|off <pid>" around what is measured,
// so that a profiler started with collection off counts that alone and not the start-up: with
// valgrind --tool=callgrind --instr-atstart=no, a script that calls "callgrind_control -i on"
// and "-z" at on and "-d" and "-i off" at off gives one instruction count per measured run.
void toggleProfile(const char *state, qint64 pid);

} // namespace ProcessCpu
