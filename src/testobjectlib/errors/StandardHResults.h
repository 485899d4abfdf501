#pragma once
// The fixed list of standard HRESULTs whose text is always the system's.
#include <windows.h>
#include <span>

// Runs of consecutive codes, ascending and disjoint.
struct HResultRun {
    DWORD first;
    DWORD last;
};

std::span<const HResultRun> StandardHResultRuns() noexcept;
// The number of codes in the list.
size_t StandardHResultCount() noexcept;
bool IsStandardHResult(HRESULT hr) noexcept;
