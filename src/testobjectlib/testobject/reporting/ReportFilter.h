#pragma once
// The words a report is filtered and judged by.
#include <windows.h>

// Bits of the option "ReportEventMask".
inline constexpr DWORD kReportReplaySteps = 0x4;
inline constexpr DWORD kReportDirectEvents = 0x10;  // direct events and replay logs
inline constexpr DWORD kReportEverything = 0xFFFFFFFF;

// The item "Status" of a report event.
enum ReportStatus : long {
    kStatusPassed = 0,      // a check whose value matched
    kStatusFailed = 1,      // a check whose value did not match; every new event starts with it
    kStatusDone = 2,        // the step ran, no verdict
    kStatusStepFailed = 3,  // the step did not reach its goal
};

// "EventStatusMask" of this value lets only the failure statuses through.
inline constexpr DWORD kOnlyFailuresMask = 2;
