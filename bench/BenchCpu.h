#pragma once
// CPU time of the whole process, all threads: on a shared machine the wall time says
// how many cores were free, this says how much work was done.
#include <sys/resource.h>

inline double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
