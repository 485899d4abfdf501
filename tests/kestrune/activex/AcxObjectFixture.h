#pragma once
// ActiveX test objects made in this process, with the host around them (AcxHostBed.h) and the
// real controls of the application under test (AutTestBed.h).
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "activex/core/KorActiveX.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "environment/LoadTimeValues.h"
#include "tables/RuntimeId.h"

// The object's state that no interface shows.
class CKorActiveXProbe : public CKorActiveX {
public:
    HWND Window() const noexcept { return m_window; }
    LONG Cookie() const noexcept { return m_cookie; }
    CKorSafeArray& MethodTable() noexcept { return m_methodInfoTable; }
    void DropInner() noexcept { m_inner.Release(); }
    CCustomHelper<CKorActiveX>* CustomHelperObject() const noexcept { return m_helperObject; }
    IDispatch* CustomReplay() const noexcept { return m_customReplay; }
    ICustomRecorder* CustomRecorder() const noexcept { return m_customRecorder; }
    // A new plain record, as a loaded description brings it (put_PropExpr adds one only when the
    // inner object answers "absent" too).
    HRESULT AddProperty(const wchar_t* name) {
        kcom::CComBSTR key(name);
        DWORD flags = 0;
        return SUCCEEDED(m_properties.GetPropFlags(key, &flags)) ? S_OK : m_properties.Add(key, nullptr, 8);
    }
};

using AcxObject = standin::Holder<CKorActiveXProbe>;
// The object's identity.
inline IUnknown* U(const AcxObject& object) { return object->GetControllingUnknown(); }
using Lines = std::vector<std::wstring>;

inline long L(HWND window) { return static_cast<long>(reinterpret_cast<LONG_PTR>(window)); }

// A runtime identifier of a windowed control, or of a windowless one inside container.
inline kcom::CComVariant WindowId(HWND window) {
    CRuntimeId id(g_cfShelHalonotRegilim);
    id.PutVariantValue(L"hwnd", kcom::CComVariant(L(window)));
    return kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id)));
}
inline kcom::CComVariant WindowlessId(HWND container, long cookie) {
    CRuntimeId id(g_cfWindowlessAcxControl);
    id.PutVariantValue(L"hwnd", kcom::CComVariant(L(container)));
    id.PutVariantValue(L"punknown", kcom::CComVariant(cookie));
    return kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id)));
}

template <class I>
kcom::CComPtr<I> Itf(IUnknown* object) {
    kcom::CComPtr<I> itf;
    if (object) object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(itf.Put()));
    return itf;
}

// A property of the object's description: value, flags, type, compare type.
struct DescribedValue {
    HRESULT hr;
    kcom::CComVariant value;
    long flags = 0, type = 0, compareType = 0;
};
inline DescribedValue Described(IUnknown* object, const wchar_t* name) {
    DescribedValue out;
    out.hr = Itf<ITestObjectInfo>(object)->get_Prop(kcom::CComBSTR(name), &out.flags, &out.type, &out.compareType,
                                                    out.value.Put());
    return out;
}

// The object's description written through IPersistStreamInit, as bytes.
inline std::vector<BYTE> Saved(IUnknown* object) {
    kcom::CComPtr<IStream> stream;
    EXPECT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
    EXPECT_EQ(S_OK, Itf<IPersistStreamInit>(object)->Save(stream, TRUE));
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
}
inline HRESULT LoadInto(IUnknown* object, const std::vector<BYTE>& bytes) {
    kcom::CComPtr<IStream> stream;
    ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return Itf<IPersistStreamInit>(object)->Load(stream);
}
// The version field that follows the counted version marker.
inline DWORD& VersionField(std::vector<BYTE>& bytes) {
    const DWORD markerBytes = *reinterpret_cast<DWORD*>(bytes.data());
    return *reinterpret_cast<DWORD*>(bytes.data() + 4 + markerBytes);
}

class AcxObjectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kAutControlsScenario));
        main_ = bed_.aut.Window(L"main");
        ctl_ = bed_.aut.Window(L"ctl");
    }

    // A new object with the rack; with an identifier it is the object's "objectid", and a
    // format other than 0 initialises it.
    AcxObject New(const kcom::CComVariant& id = kcom::CComVariant(), UINT format = 0) {
        AcxObject object = AcxObject::New();
        EXPECT_EQ(S_OK, object.as<IObjectRackClient>()->SetRack(bed_.Rack()));
        if (id.vt != VT_EMPTY) {
            EXPECT_EQ(S_OK, object.as<ITestObjectInfo>()->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr,
                                                                        nullptr, id));
        }
        if (format) {
            EXPECT_EQ(S_OK, object.as<IKorActiveXInit>()->Init(format));
        }
        return object;
    }
    AcxObject Windowed() { return New(WindowId(ctl_), g_cfShelHalonotRegilim); }
    // Takes the desktop and runs as a replay with a short find time-out.
    void ReplayOnTheDesktop() {
        bed_.TakeDesktop(main_);
        bed_.options->Put(L"", L"OnReplay", kcom::CComVariant(true));
        bed_.options->Put(L"", L"DefaultTimeout", 1000L);
    }
    AcxObject Windowless(long cookie) { return New(WindowlessId(main_, cookie), g_cfWindowlessAcxControl); }

    // A property of the description with its flags; a new name becomes a record first.
    static HRESULT Describe(const AcxObject& object, const wchar_t* name, const kcom::CComVariant& value, long flags) {
        object->AddProperty(name);
        return object.as<ITestObjectInfo>()->put_PropExpr(kcom::CComBSTR(name), &flags, nullptr, nullptr, value);
    }
    // The container of the windowless controls, as the host's window test object.
    kcom::CComPtr<IDispatch> Container() {
        kcom::CComPtr<IDispatch> container;
        EXPECT_HRESULT_SUCCEEDED(container.CoCreateInstance(standin::kWinObjectProgId, nullptr, CLSCTX_INPROC_SERVER));
        if (container) {
            EXPECT_EQ(S_OK, Itf<IReplaySkeleton>(container)->SetRuntimeId(WindowId(main_).punkVal));
        }
        return container;
    }

    // The control's own IDispatch, from the hook.
    kcom::CComPtr<IDispatch> Control(HWND window, long cookie = 0) {
        kcom::CComPtr<IDispatch> control;
        EXPECT_HRESULT_SUCCEEDED(AutControlDispatch(window, cookie, control.Put()));
        return control;
    }

    CAcxHostBed bed_;
    HWND main_ = nullptr, ctl_ = nullptr;
};
