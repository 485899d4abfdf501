// The owner of task-allocator buffers, watched through the allocator's own spy hook.
#include <gtest/gtest.h>
#include "com/ComError.h"
#include "com/Handles.h"

using namespace kcom;

namespace {

// Counts the live blocks the task allocator handed out while it is registered.
class CBlockCounter : public IMallocSpy {
public:
    LONG live = 0;
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        *ppv = ::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IMallocSpy) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD_(SIZE_T, PreAlloc)(SIZE_T size) override { return size; }
    STDMETHOD_(void*, PostAlloc)(void* p) override { live += p ? 1 : 0; return p; }
    STDMETHOD_(void*, PreFree)(void* p, BOOL spied) override { live -= p && spied ? 1 : 0; return p; }
    STDMETHOD_(void, PostFree)(BOOL) override {}
    STDMETHOD_(SIZE_T, PreRealloc)(void* p, SIZE_T size, void** out, BOOL) override { *out = p; return size; }
    STDMETHOD_(void*, PostRealloc)(void* p, BOOL) override { return p; }
    STDMETHOD_(void*, PreGetSize)(void* p, BOOL) override { return p; }
    STDMETHOD_(SIZE_T, PostGetSize)(SIZE_T size, BOOL) override { return size; }
    STDMETHOD_(void*, PreDidAlloc)(void* p, BOOL) override { return p; }
    STDMETHOD_(int, PostDidAlloc)(void*, BOOL, int actual) override { return actual; }
    STDMETHOD_(void, PreHeapMinimize)() override {}
    STDMETHOD_(void, PostHeapMinimize)() override {}
};

TEST(CoTaskMem, EveryBufferIsFreedOnceByItsOwner) {
    CBlockCounter spy;
    ASSERT_EQ(::CoRegisterMallocSpy(&spy), S_OK);
    {
        CCoTaskMem<OLECHAR> text;
        ASSERT_EQ(::StringFromCLSID(CLSID_NULL, text.Put()), S_OK);
        ASSERT_EQ(::StringFromCLSID(IID_IUnknown, text.Put()), S_OK);
        EXPECT_EQ(spy.live, 1) << "Put frees the held text before the callee fills it";
        CCoTaskMem<OLECHAR> taken(text.Detach());
        EXPECT_FALSE(text);
        EXPECT_STREQ(taken.get(), L"{00000000-0000-0000-C000-000000000046}");
    }
    EXPECT_EQ(spy.live, 0);
    // A described failure names an unregistered class by its CLSID text, and frees that text.
    ReportError(CLSID_NULL, L"failed", IID_IUnknown, E_FAIL);
    EXPECT_EQ(spy.live, 0);
    EXPECT_EQ(::CoRevokeMallocSpy(), S_OK);
}

}  // namespace
