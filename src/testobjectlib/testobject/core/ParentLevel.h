#pragma once
// Operations that reach the top of the parent chain by asking the parent for the same operation,
// which asks its own parent, nest one call per level. A chain from a host that loops back on
// itself would nest until the stack ends: a level is entered only while fewer than
// kMaxParentLevels are open on this thread, the depth at which every walk up the chain stops.

inline constexpr int kMaxParentLevels = 256;

class CParentLevel {
public:
    CParentLevel() noexcept : m_entered(s_open < kMaxParentLevels) {
        if (m_entered) ++s_open;
    }
    ~CParentLevel() {
        if (m_entered) --s_open;
    }
    CParentLevel(const CParentLevel&) = delete;
    CParentLevel& operator=(const CParentLevel&) = delete;

    // False: the chain is deeper than any real one, and the parent is not asked.
    explicit operator bool() const noexcept { return m_entered; }

private:
    static inline thread_local int s_open = 0;
    bool m_entered;
};
