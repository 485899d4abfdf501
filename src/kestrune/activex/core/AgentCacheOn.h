#pragma once
// Within one operation the agent answers each fact about a control once.
#include <windows.h>
#include "kestrune.h"

// Saves the agent's cache switch, switches the cache on, and restores it when the scope ends.
class CAgentCacheOn {
public:
    explicit CAgentCacheOn(IAcxAgntUtil2* agent) noexcept : m_agent(agent) {
        if (m_agent && SUCCEEDED(m_agent->IsCacheEnabled(&m_saved))) m_agent->EnableCache(1);
        else m_agent = nullptr;
    }
    ~CAgentCacheOn() {
        if (m_agent) m_agent->EnableCache(m_saved);
    }
    CAgentCacheOn(const CAgentCacheOn&) = delete;
    CAgentCacheOn& operator=(const CAgentCacheOn&) = delete;

private:
    IAcxAgntUtil2* m_agent;
    LONG m_saved = 0;
};
