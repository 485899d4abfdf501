// The handler in a process without the hook DLL: every operation runs directly on the caller's
// thread, against a real Scripting.Dictionary.
#include <gtest/gtest.h>
#include <windows.h>
#include "DesktopLock.h"
#include "environment/AcxHandler.h"
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "TestControl.h"

namespace {

class AcxHandlerDirect : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(NewDictionary(outer_.Put()));
        ASSERT_HRESULT_SUCCEEDED(NewDictionary(inner_.Put()));
        ASSERT_HRESULT_SUCCEEDED(DictionaryAdd(inner_, kcom::CComVariant(L"a"), kcom::CComVariant(1)));
        ASSERT_HRESULT_SUCCEEDED(DictionaryAdd(inner_, kcom::CComVariant(L"b"), kcom::CComVariant(2)));
        ASSERT_HRESULT_SUCCEEDED(DictionaryAdd(outer_, kcom::CComVariant(1), kcom::CComVariant(inner_.get())));
        ASSERT_HRESULT_SUCCEEDED(DictionaryAdd(outer_, kcom::CComVariant(2), kcom::CComVariant(true)));
        SAFEARRAYBOUND bound{2, 0};
        kcom::CComVariant array;
        array.vt = VT_ARRAY | VT_VARIANT;
        array.parray = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
        ASSERT_HRESULT_SUCCEEDED(DictionaryAdd(outer_, kcom::CComVariant(3), array));
        ASSERT_HRESULT_SUCCEEDED(DictionaryAdd(outer_, kcom::CComVariant(4), kcom::CComVariant(L"text")));
        handler_.Attach(outer_);
    }

    HRESULT Get(const wchar_t* path, kcom::CComVariant& value) {
        value.Clear();
        return handler_.GetProperty(kcom::CComBSTR(path), &value, TRUE);
    }

    kcom::CComPtr<IDispatch> outer_, inner_;
    CAcxHandler handler_;
};

TEST_F(AcxHandlerDirect, NoSwitcherWithoutTheHookDll) {
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"Quillon.dll"));
    EXPECT_EQ(nullptr, FindThreadContextSwitch());
    EXPECT_EQ(::GetCurrentThreadId(), handler_.OwningThread());
    EXPECT_EQ(::GetCurrentThreadId(), handler_.CreatorThread());
}

TEST_F(AcxHandlerDirect, PathsArgumentsAndDisplayTexts) {
    kcom::CComVariant value;
    ASSERT_EQ(S_OK, Get(L"Count", value));
    EXPECT_EQ(4, value.lVal);
    ASSERT_EQ(S_OK, Get(L"Item(4)", value));
    EXPECT_STREQ(L"text", value.bstrVal);
    ASSERT_EQ(S_OK, Get(L"Item(2)", value));
    EXPECT_STREQ(L"True", value.bstrVal);
    ASSERT_EQ(S_OK, Get(L"Item(3)", value));
    EXPECT_STREQ(L"SAFEARRAY", value.bstrVal);
    ASSERT_EQ(S_OK, Get(L"Item(1)", value));
    EXPECT_STREQ(L"Object Reference", value.bstrVal);
    // Down the path through the object the first segment holds.
    ASSERT_EQ(S_OK, Get(L"Item(1).Count", value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(2, value.lVal);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Get(L"Item(x)", value));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, Get(L"NoSuchProperty", value));
    EXPECT_EQ(E_INVALIDARG, handler_.GetProperty(nullptr, &value, TRUE));

    CAcxHandler empty;
    EXPECT_EQ(E_FAIL, empty.GetProperty(kcom::CComBSTR(L"Count"), &value, TRUE));
}

TEST_F(AcxHandlerDirect, PathGrammar) {
    CAcxHandler::PathSegment s;
    ASSERT_EQ(S_OK, CAcxHandler::ParsePropertyPath(kcom::CComBSTR(L"Cell(1,3).Text"), s));
    EXPECT_EQ(L"Cell", s.name);
    ASSERT_EQ(2u, s.args.size());
    EXPECT_EQ(3, s.args[0].lVal);  // DISPPARAMS order: the last argument first
    EXPECT_EQ(1, s.args[1].lVal);
    EXPECT_EQ(L"Text", s.rest);
    ASSERT_EQ(S_OK, CAcxHandler::ParsePropertyPath(kcom::CComBSTR(L"Font.Item(2)"), s));
    EXPECT_EQ(L"Font", s.name);
    EXPECT_TRUE(s.args.empty());
    EXPECT_EQ(L"Item(2)", s.rest);
    ASSERT_EQ(S_OK, CAcxHandler::ParsePropertyPath(kcom::CComBSTR(L"Odd)x(1"), s));
    EXPECT_EQ(L"Odd)x(1", s.name);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, CAcxHandler::ParsePropertyPath(kcom::CComBSTR(L"Cell(1,y)"), s));

    kcom::CComVariant v;
    v.vt = VT_NULL;
    CAcxHandler::ToDisplayText(&v);
    EXPECT_EQ(VT_EMPTY, v.vt);
    v = kcom::CComVariant(false);
    CAcxHandler::ToDisplayText(&v);
    EXPECT_STREQ(L"False", v.bstrVal);
    v = kcom::CComVariant(2.5);
    CAcxHandler::ToDisplayText(&v);
    EXPECT_EQ(VT_R8, v.vt);
}

TEST_F(AcxHandlerDirect, MemberListNamesReadableProperties) {
    kcom::CComBSTR names;
    handler_.GetMemberList(names.Put(), TRUE);
    const std::wstring list = names.c_str();
    EXPECT_NE(std::wstring::npos, (L"\t" + list + L"\t").find(L"\tCount\t")) << list;
    EXPECT_EQ(std::wstring::npos, (L"\t" + list + L"\t").find(L"\tItem\t")) << list;
    EXPECT_EQ(std::wstring::npos, list.find(L"_NewEnum"));
    EXPECT_NE(L'\t', list.back());

    kcom::CComObject<CTestControl>* bare = nullptr;
    ASSERT_HRESULT_SUCCEEDED(kcom::CComObject<CTestControl>::CreateInstance(&bare));
    kcom::CComPtr<IDispatch> control(bare);
    bare->inner = outer_;
    bare->typeInfo = false;
    CAcxHandler noInfo;
    noInfo.Attach(control);
    noInfo.GetMemberList(names.Put(), TRUE);
    EXPECT_EQ(0u, names.Length());
}

TEST_F(AcxHandlerDirect, MarshalledIntoANewStream) {
    kcom::CComPtr<IStream> stream;
    HRESULT result = E_FAIL;
    ASSERT_EQ(S_OK, handler_.MarshalToStream(stream.Put(), outer_, &result, TRUE));
    EXPECT_EQ(S_OK, result);
    ASSERT_TRUE(stream);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    kcom::CComPtr<IDispatch> back;
    ASSERT_HRESULT_SUCCEEDED(::CoUnmarshalInterface(stream, IID_IDispatch, reinterpret_cast<void**>(back.Put())));
    EXPECT_TRUE(back);
    kcom::CComPtr<IStream> failed;
    EXPECT_EQ(E_FAIL, handler_.MarshalToStream(failed.Put(), nullptr, nullptr, TRUE));
    EXPECT_EQ(E_POINTER, handler_.MarshalToStream(nullptr, outer_, nullptr, TRUE));
}

TEST_F(AcxHandlerDirect, EventsComeFromTheCoclassSources) {
    EXPECT_EQ(E_NOINTERFACE, handler_.FireEvent(nullptr, nullptr));
    // The dictionary's coclass declares no event source.
    EXPECT_EQ(DISP_E_UNKNOWNNAME, handler_.FireEvent(kcom::CComBSTR(L"Click"), nullptr));
    kcom::CComSafeArray names;
    ASSERT_EQ(S_OK, handler_.GetObjectMemberNames(names.Put()));
    ASSERT_TRUE(names);
    EXPECT_EQ(0u, names.get()->rgsabound[0].cElements);
    // Without class information there is nothing to look at.
    kcom::CComObject<CTestControl>* bare = nullptr;
    ASSERT_HRESULT_SUCCEEDED(kcom::CComObject<CTestControl>::CreateInstance(&bare));
    kcom::CComPtr<IDispatch> control(bare);
    bare->inner = outer_;
    CAcxHandler noInfo;
    noInfo.Attach(control);
    EXPECT_EQ(E_NOINTERFACE, noInfo.FireEvent(kcom::CComBSTR(L"Click"), nullptr));
    EXPECT_EQ(E_NOINTERFACE, noInfo.GetObjectMemberNames(names.Put()));
    EXPECT_EQ(E_POINTER, handler_.GetObjectMemberNames(nullptr));
    CAcxHandler empty;
    EXPECT_EQ(E_FAIL, empty.FireEvent(kcom::CComBSTR(L"Click"), nullptr));
}

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

TEST(IsSameWindow, ChildCoveringItsParentWithTheSameProcedure) {
    DesktopLock desktop;  // clip boxes shrink under another program's window
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SameWindowTest";
    ::RegisterClassW(&wc);
    HWND top = ::CreateWindowExW(0, L"SameWindowTest", L"top", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(top);
    HWND parent = ::CreateWindowExW(0, L"SameWindowTest", L"", WS_CHILD | WS_VISIBLE, 10, 10, 120, 80, top, nullptr,
                                    wc.hInstance, nullptr);
    HWND child = ::CreateWindowExW(0, L"SameWindowTest", L"", WS_CHILD | WS_VISIBLE, 0, 0, 120, 80, parent, nullptr,
                                   wc.hInstance, nullptr);
    HWND smaller = ::CreateWindowExW(0, L"SameWindowTest", L"", WS_CHILD | WS_VISIBLE, 0, 0, 60, 80, parent, nullptr,
                                     wc.hInstance, nullptr);
    HWND other = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 120, 80, parent, nullptr,
                                   wc.hInstance, nullptr);
    ::UpdateWindow(top);
    EXPECT_FALSE(IsSameWindow(smaller, parent));
    EXPECT_FALSE(IsSameWindow(other, parent));
    EXPECT_FALSE(IsSameWindow(child, top));
    EXPECT_FALSE(IsSameWindow(nullptr, parent));
    EXPECT_FALSE(IsSameWindow(child, nullptr));
    ::DestroyWindow(smaller);
    ::DestroyWindow(other);
    EXPECT_TRUE(IsSameWindow(child, parent));
    ::DestroyWindow(top);
}

}  // namespace
