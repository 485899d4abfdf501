#pragma once
// "KorTest.Host": the host as a script sees it. A VBScript under Wine's cscript creates it and
// gets the package's ActiveX test objects for the controls of the application under test.
//
//   h.Start [extra]                  builds the rack and the host's services (AcxHostBed.h),
//                                    starts the application with the controls of AutTestBed.h,
//                                    the recovery children, main:10 captioned "Übernehmen"
//                                    (KorTest.WlsLocal) and the extra scenario lines, sets
//                                    the package manager up in the host's order and makes the
//                                    factory from its registration
//   Set o = h.TestObject("ctl")      through the factory: a control window's name, or
//                                    "window:cookie" of a windowless control; an identifier the
//                                    factory refuses is made into a test object directly, so
//                                    that a script can hold one whose control is not there
//   h.SetOption "AutMode", 1         a value of "TestOptions"
//   h.InnerAnswer o, "WaitEnabled", hr   what a step of o's inner standard window object answers
//   h.Listen "ctl" : h.Events        a sink on the control's events; the events it got
//   h.Log("DeviceReplay")            a stand-in's calls ("DeviceReplay", "RecordMgr"), a line each
//   h.InnerLog(o)                    the actions o's inner standard window object performed
//   h.ControlLog("main:7")           the control's input log, a line each
//   h.Clear                          forgets the stand-ins' calls, the events and the input logs
//   h.Pump ms                        dispatches this thread's messages for a while
//   Set w = h.Window("main")         the host's window test object of a top-level window
//   Set o = h.LoadTestObject(file, name[, parent])   a new test object from a saved description
//                                    (IPersistStreamInit), with its logical name and parent
// Lines come back joined by " | ".
#include <windows.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "FactorySiteStandIn.h"
#include "RecorderStandIn.h"
#include "TestObjectStandIn.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"

class CKorTestHost : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    CKorTestHost();
    ~CKorTestHost() override;

    BEGIN_COM_MAP(CKorTestHost)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override;

    // Before Start: the package's classes come from the registered Kestrune.dll.
    void UseRegisteredPackage() noexcept { linkedPackage_ = false; }
    HRESULT Start(const std::wstring& extraScenario);
    HRESULT TestObject(const std::wstring& name, IDispatch** object);
    HRESULT Window(const std::wstring& name, IDispatch** object) const;
    HRESULT LoadTestObject(const std::wstring& file, const std::wstring& name, IDispatch* parent, IDispatch** object);
    // From now on the application's input is recorded as the host does: the hook's records go
    // to the recorder, which hands them to the factory (its site from then on); the test objects'
    // steps reach the record manager (Bed()->recordMgr), their parent the window "main".
    HRESULT Record();
    // Ends the application and the reference cycles between the host's objects.
    void Stop();

    CAcxHostBed* Bed() const noexcept { return bed_.get(); }

private:
    // A control window by name, or a container and cookie for "window:cookie".
    bool Locate(const std::wstring& name, HWND& window, LONG& cookie) const;
    kcom::CComPtr<IDispatch> Control(const std::wstring& name) const;
    // A new ActiveX test object with the host's rack.
    HRESULT NewActiveXObject(kcom::CComPtr<IDispatch>& made) const;
    HRESULT Listen(const std::wstring& name);
    std::wstring InnerLog(IUnknown* testObject) const;
    void Clear();

    std::unique_ptr<CAcxHostBed> bed_;
    bool linkedPackage_ = true;
    std::vector<std::unique_ptr<standin::CClassRegistration>> classes_;
    standin::Holder<standin::CRecorderStandIn> recorder_;
    kcom::CComPtr<IPackageMgr3> manager_;
    kcom::CComPtr<IUnknown> factory_;
    standin::Holder<standin::CFactorySiteStandIn> site_ = standin::Holder<standin::CFactorySiteStandIn>::New();
    standin::Holder<standin::CTestObjectStandIn> parent_ = standin::Holder<standin::CTestObjectStandIn>::New();
    std::vector<std::wstring> controls_;  // names of the scenario's controls
    std::vector<kcom::CComPtr<IUnknown>> sinks_;
    std::vector<kcom::CComPtr<IUnknown>> handedOut_;  // the test objects, for their inner objects' logs
    std::shared_ptr<standin::CallLog> events_ = std::make_shared<standin::CallLog>();
};

// Serves one host to script clients of other processes as "KorTest.Host" while it lives;
// standin::SetUpFailure when the ProgID cannot be written.
class CKorTestHostServer {
public:
    CKorTestHostServer();
    ~CKorTestHostServer();
    CKorTestHostServer(const CKorTestHostServer&) = delete;
    CKorTestHostServer& operator=(const CKorTestHostServer&) = delete;
    HRESULT Result() const noexcept;
    CKorTestHost* Host() const noexcept { return host_.get(); }

private:
    standin::Holder<CKorTestHost> host_ = standin::Holder<CKorTestHost>::New();
    std::unique_ptr<standin::CObjectRegistration> registration_;
    std::optional<standin::CProgIdKey> key_;
};
