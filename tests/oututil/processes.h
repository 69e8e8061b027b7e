// processes.h - running one piece of work in several processes at once.
#ifndef OUTUTIL_TESTS_PROCESSES_H
#define OUTUTIL_TESTS_PROCESSES_H

#include <functional>

// Forks count processes that all wait at one barrier, then run work(index)
// together; a process ends with status 0 when work returns true. Returns the
// number of processes that failed (or could not be started).
int run_in_processes(int count, const std::function<bool(int index)>& work);

#endif  // OUTUTIL_TESTS_PROCESSES_H
