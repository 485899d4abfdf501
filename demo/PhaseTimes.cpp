#include "PhaseTimes.h"
#include <cwchar>
#include "testobject/clock/TestObjectClock.h"

namespace {

std::wstring Seconds(DWORD ms) {
    wchar_t text[32];
    swprintf(text, 32, L"%lu.%lu s", static_cast<unsigned long>(ms / 1000), static_cast<unsigned long>(ms % 1000 / 100));
    return text;
}

}  // namespace

void CPhaseTimes::Begin(const std::wstring& name) {
    End();
    running_ = name;
    started_ = CTestObjectClock::Current().TickCount();
}

void CPhaseTimes::End() {
    if (running_.empty()) return;
    done_.emplace_back(running_, CTestObjectClock::Current().TickCount() - started_);
    running_.clear();
}

std::wstring CPhaseTimes::Text() const {
    std::wstring text;
    auto add = [&](const std::wstring& name, DWORD ms) { text += (text.empty() ? L"" : L", ") + name + L" " + Seconds(ms); };
    for (const auto& [name, ms] : done_) add(name, ms);
    if (!running_.empty()) add(running_, CTestObjectClock::Current().TickCount() - started_);
    return text;
}

std::wstring SummaryLine(const DemoCounts& counts, const CPhaseTimes& times) {
    return std::to_wstring(counts.recorded) + L" steps recorded, " + std::to_wstring(counts.replayed) +
           L" steps replayed, " + std::to_wstring(counts.passed) + L" passed, " + std::to_wstring(counts.failed) +
           L" failed; " + times.Text();
}
