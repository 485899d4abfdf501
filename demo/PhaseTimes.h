#pragma once
// The demo's phases, timed on the process's clock, and its one closing line.
#include <windows.h>
#include <string>
#include <utility>
#include <vector>

class CPhaseTimes {
public:
    // Ends the running phase, if any, and starts the next.
    void Begin(const std::wstring& name);
    void End();
    // "set-up 1.2 s, record 3.0 s": the phases in order, the running one up to now.
    std::wstring Text() const;

private:
    std::vector<std::pair<std::wstring, DWORD>> done_;
    std::wstring running_;
    DWORD started_ = 0;
};

struct DemoCounts {
    size_t recorded = 0, replayed = 0, passed = 0, failed = 0;
};

std::wstring SummaryLine(const DemoCounts& counts, const CPhaseTimes& times);
