#pragma once
// The step report as a plain HTML page: each report event the package sent, in order, with its
// status and every text it carried, as the host's report received them.
#include <string>
#include <vector>
#include "TestReportStandIn.h"

std::wstring EscapeHtml(const std::wstring& text);
std::wstring ReportPage(const std::wstring& title, const std::vector<standin::ReportedEvent>& events);
