#pragma once
// A clock for tests: time stands still until a wait or the test moves it, so time-outs run in
// microseconds with exact counts. It is the process's clock for as long as it lives.
#include <windows.h>
#include <optional>
#include <vector>
#include "testobject/clock/TestObjectClock.h"

class CFakeClock : public CTestObjectClock {
public:
    explicit CFakeClock(DWORD start = 0) noexcept : now_(start) { previous_ = Install(this); }
    ~CFakeClock() override {
        Install(previous_);
        if (savedDoubleClick_) SetDoubleClickTime(*savedDoubleClick_);
    }

    DWORD TickCount() noexcept override { return now_; }
    void PumpWait(DWORD ms) noexcept override {
        pumps_.push_back(ms);
        now_ += ms;
    }
    void Sleep(DWORD ms) noexcept override {
        sleeps_.push_back(ms);
        now_ += ms;
    }

    void Advance(DWORD ms) noexcept { now_ += ms; }
    // Sets the double-click time until this clock ends.
    void UseDoubleClickTime(UINT ms) {
        if (!savedDoubleClick_) savedDoubleClick_ = DoubleClickTime();
        SetDoubleClickTime(ms);
    }
    const std::vector<DWORD>& Pumps() const noexcept { return pumps_; }
    const std::vector<DWORD>& Sleeps() const noexcept { return sleeps_; }

private:
    DWORD now_;
    CTestObjectClock* previous_ = nullptr;
    std::optional<UINT> savedDoubleClick_;
    std::vector<DWORD> pumps_;
    std::vector<DWORD> sleeps_;
};
