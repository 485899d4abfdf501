// Every replay error a script meets, from one table run by a real VBScript client under cscript
// against the real controls of the application under test: each comes back as Err.Number, the
// script goes on to its end, and the serving process lives on to take the next call. Time runs on
// a clock of the test, so that waits that run out cost nothing; one control's window is ended
// while a call waits on it.
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include "FakeClock.h"
#include "KorTestHost.h"
#include "DescribedObject.h"
#include "ScriptRunner.h"

namespace {

struct Row {
    const char* name;
    const char* code;
    const char* expected;  // Err.Number in hex
};

// o: the windowed control; w: a windowless one; e8: another windowless one; lost: a windowless
// control that is not there; x: a windowed control whose window will end, of the same class as o;
// s: test objects made from a description alone.
const Row kRows[] = {
    {"not found", "Set c = lost.Object", "80040202"},
    {"not found, event", "lost.FireEvent \"Clicked\", Array()", "80040202"},
    {"not visible", "e8.Object.Move 0, 0, 0, 0 : e8.Click", "80040205"},
    {"no area", "r = lost.GetVisibleText()", "80040206"},
    {"several found", "Set t = s.Described(\"KorTest.WndCtl\") : t.Click", "80040203"},
    {"not enabled", "h.InnerAnswer o, \"WaitEnabled\", &H80040208 : o.Type \"x\"", "80040208"},
    {"argument type", "o.Click \"a\", \"b\"", "80020005"},
    {"arguments missing", "w.DblClick", "8002000E"},
    {"event name", "w.FireEvent 5, Array()", "80020008"},
    {"unknown event", "w.FireEvent \"NoSuchEvent\", Array()", "80020006"},
    {"unknown member", "w.NoSuchThing", "1B6"},
    // The window ends while the call polls it; the wait runs out and fails as configured.
    {"dies while waited on",
     "h.SetOption \"FailOnWaitProperty\", 1 : h.SetOption \"EndOnWait\", \"doomed\" : "
     "r = x.WaitProperty(\"Caption\", \"Never\", 2000)",
     "8004020E"},
    {"gone", "h.SetOption \"FailOnWaitProperty\", 0 : x.Click", "80004005"},
    {"still alive", "w.Click 5, 5 : r = h.ControlLog(\"main:7\")", "0"},
    {"refused in run mode", "h.SetOption \"AutMode\", 1 : Set a = h.TestObject(\"main:7\") : a.Click", "8004020F"},
};

// A clock of the test that also ends the window of the control named by the option "EndOnWait"
// when a wait begins.
class CEndingClock : public CFakeClock {
public:
    explicit CEndingClock(CKorTestHost& host) : host_(host) {}
    void PumpWait(DWORD ms) noexcept override {
        if (CAcxHostBed* bed = host_.Bed()) {
            const kcom::CComVariant name = bed->options->Peek(L"", L"EndOnWait");
            if (name.vt == VT_BSTR && name.bstrVal) {
                DWORD_PTR ignored = 0;
                ::SendMessageTimeoutW(bed->aut.Window(name.bstrVal), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
                bed->options->Put(L"", L"EndOnWait", kcom::CComVariant());
                ++ended;
            }
        }
        CFakeClock::PumpWait(ms);
    }
    int ended = 0;

private:
    CKorTestHost& host_;
};

// {6E3B1F52-8C4D-4A97-B0E1-2D5F7A9C3B18}
const CLSID kShelfClsid = {0x6E3B1F52, 0x8C4D, 0x4A97, {0xB0, 0xE1, 0x2D, 0x5F, 0x7A, 0x9C, 0x3B, 0x18}};

// "KorTest.Shelf": s.Described(progId) hands the script an ActiveX test object that knows its
// control by description only, {progid = progId} under the container window "main", as one
// loaded from a saved description does.
class CShelf : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CShelf)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count != 1) return E_INVALIDARG;
        *ids = names[0] && _wcsicmp(names[0], L"Described") == 0 ? 1 : DISPID_UNKNOWN;
        return *ids == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override {
        return kcom::Guard([&]() -> HRESULT {
            if (id != 1) return DISP_E_MEMBERNOTFOUND;
            if (!params || params->cArgs != 1 || !result) return DISP_E_BADPARAMCOUNT;
            kcom::CComVariant progId;
            HRESULT hr = ::VariantChangeType(progId.Put(), &params->rgvarg[0], 0, VT_BSTR);
            kcom::CComPtr<IDispatch> object;
            CAcxHostBed* bed = host ? host->Bed() : nullptr;
            if (SUCCEEDED(hr) && !bed) hr = E_UNEXPECTED;
            if (SUCCEEDED(hr)) hr = DescribedTestObject(bed->Rack(), bed->aut.Window(L"main"), progId.bstrVal, object.Put());
            if (SUCCEEDED(hr)) kcom::CComVariant(object.get()).Detach(result);
            return hr;
        });
    }

    CKorTestHost* host = nullptr;

};

std::string Script() {
    std::ostringstream s;
    s << "On Error Resume Next\r\n"
         "Set h = CreateObject(\"KorTest.Host\")\r\n"
         "If Err.Number <> 0 Then WScript.Echo \"create|\" & Hex(Err.Number) : WScript.Quit 2\r\n"
         "h.Start \"control doomed KorTest.WndCtl parent=main rect=10,200,101,41 caption=Doomed\"\r\n"
         "Set o = h.TestObject(\"ctl\") : Set w = h.TestObject(\"main:7\") : Set e8 = h.TestObject(\"main:8\")\r\n"
         "Set lost = h.TestObject(\"main:99\") : Set x = h.TestObject(\"doomed\")\r\n"
         "Set s = CreateObject(\"KorTest.Shelf\")\r\n"
         "If Err.Number <> 0 Then WScript.Echo \"start|\" & Hex(Err.Number) & \"|\" & Err.Description : WScript.Quit 3\r\n";
    for (const Row& row : kRows)
        s << "Err.Clear : h.Clear\r\n"
          << row.code << "\r\n"
          << "WScript.Echo \"" << row.name << "|\" & Hex(Err.Number)\r\n";
    s << "WScript.Echo \"end\"\r\nWScript.Quit 7\r\n";
    return s.str();
}

TEST(ScriptErrorTable, EveryReplayErrorComesBackAndTheScriptGoesOn) {
    CKorTestHostServer server;
    ASSERT_EQ(S_OK, server.Result());
    auto shelf = standin::Holder<CShelf>::New();
    shelf->host = server.Host();
    standin::CObjectRegistration shelfClass(kShelfClsid, shelf.as<IDispatch>(), CLSCTX_LOCAL_SERVER);
    ASSERT_EQ(S_OK, shelfClass.Result());
    standin::CProgIdKey shelfProgId(L"KorTest.Shelf", kShelfClsid);
    CEndingClock clock(*server.Host());
    std::string lines;
    const DWORD code = RunScript(Script(), lines);
    ASSERT_EQ(7u, code) << lines;
    std::string expected;
    for (const Row& row : kRows) expected += std::string(row.name) + "|" + row.expected + "\n";
    EXPECT_EQ(expected + "end\n", lines);
    EXPECT_EQ(1, clock.ended);
}

}  // namespace
