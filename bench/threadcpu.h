#pragma once

#include <cmath>
#include <QtGlobal>
#ifdef Q_OS_UNIX
#include <time.h>
#endif

// This thread's processor time in ms: the figure to trust when other work shares the machine.
inline double threadCpuMs()
{
#ifdef Q_OS_UNIX
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
#else
    return std::nan("");
#endif
}
