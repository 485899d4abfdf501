#pragma once
// Paths of one benchmark timed in alternating blocks of the same run, so that each sees the same
// load; a path answers whether its round succeeded.
#include <windows.h>
#include <functional>

struct Path {
    const char* name;
    std::function<bool()> run;
    LONGLONG ticks = 0;
};

inline double PerSecond(LONGLONG ticks, LONGLONG frequency, int count) {
    return ticks > 0 ? count * static_cast<double>(frequency) / static_cast<double>(ticks) : 0.0;
}

// Warms every path up, then times blocks * perBlock rounds of each into its ticks; answers the
// rounds that succeeded and the counter's frequency.
template <size_t N>
int RunAlternating(Path (&paths)[N], int warmUps, int blocks, int perBlock, LONGLONG* frequency) {
    for (int i = 0; i < warmUps; ++i)
        for (Path& p : paths) p.run();
    LARGE_INTEGER f, t0, t1;
    ::QueryPerformanceFrequency(&f);
    *frequency = f.QuadPart;
    int done = 0;
    for (int block = 0; block < blocks; ++block) {
        for (Path& p : paths) {
            ::QueryPerformanceCounter(&t0);
            for (int i = 0; i < perBlock; ++i) done += p.run();
            ::QueryPerformanceCounter(&t1);
            p.ticks += t1.QuadPart - t0.QuadPart;
        }
    }
    return done;
}
