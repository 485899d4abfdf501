#pragma once
// The step report as one small static HTML page: first whether the replay passed, the counts and
// phase times, the replay script's verdict per step and the captured image; then each report
// event the package sent, in order, with its status in words and the texts a reader can use.
#include <string>
#include <vector>
#include "TestReportStandIn.h"

struct ReportSummary {
    std::wstring failure;             // the command's line of what failed; empty when all passed
    std::wstring counts;              // SummaryLine: steps and phase times so far
    std::vector<std::wstring> steps;  // the replay script's lines: "pass  ..." or what went wrong
    std::wstring image;               // the captured image's file name beside the page, or empty
    std::wstring imageCaption;
};

std::wstring EscapeHtml(const std::wstring& text);
// The page as its file holds it: UTF-8.
std::string ReportPage(const std::wstring& title, const ReportSummary& summary,
                       const std::vector<standin::ReportedEvent>& events);
