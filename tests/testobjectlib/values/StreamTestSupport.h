#pragma once
// Memory streams as byte vectors, a counting allocator spy for leak checks, and a small
// persistable object registered in-process.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <psapi.h>
#include <algorithm>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"

using Bytes = std::vector<BYTE>;

inline kcom::CComPtr<IStream> NewStream() {
    kcom::CComPtr<IStream> s;
    ::CreateStreamOnHGlobal(nullptr, TRUE, s.Put());
    return s;
}

inline kcom::CComPtr<IStream> StreamOf(const Bytes& data) {
    kcom::CComPtr<IStream> s = NewStream();
    ULONG written = 0;
    if (!data.empty()) s->Write(data.data(), static_cast<ULONG>(data.size()), &written);
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    return s;
}

// Every byte of the stream, whatever its position.
inline Bytes BytesOf(IStream* s) {
    STATSTG stat{};
    s->Stat(&stat, STATFLAG_NONAME);
    Bytes out(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    ULARGE_INTEGER old{};
    s->Seek(zero, STREAM_SEEK_CUR, &old);
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    if (!out.empty()) s->Read(out.data(), static_cast<ULONG>(out.size()), &read);
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<LONGLONG>(old.QuadPart);
    s->Seek(back, STREAM_SEEK_SET, nullptr);
    return out;
}

inline ULONGLONG PositionOf(IStream* s) {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER pos{};
    s->Seek(zero, STREAM_SEEK_CUR, &pos);
    return pos.QuadPart;
}

// A one-column table: descriptor bound 0 the rows, bound 1 the single column. Texts go into
// VT_BSTR cells as BSTRs and into VT_VARIANT cells as VARIANTs.
template <class T>
kcom::CComVariant Column(VARTYPE cell, const std::vector<T>& rows) {
    SAFEARRAYBOUND b[2] = {{1, 0}, {static_cast<ULONG>(rows.size()), 0}};
    SAFEARRAY* psa = ::SafeArrayCreate(cell, 2, b);
    for (LONG r = 0; r < static_cast<LONG>(rows.size()); ++r) {
        LONG idx[2] = {0, r};
        if constexpr (std::is_same_v<T, const wchar_t*>) {
            kcom::CComBSTR text(rows[r]);
            kcom::CComVariant v(rows[r]);
            ::SafeArrayPutElement(psa, idx, cell == VT_BSTR ? static_cast<void*>(static_cast<BSTR>(text)) : &v);
        } else if constexpr (std::is_same_v<T, kcom::CComVariant>) {
            ::SafeArrayPutElement(psa, idx, const_cast<kcom::CComVariant*>(&rows[r]));
        } else {
            LONG v = rows[r];
            ::SafeArrayPutElement(psa, idx, &v);
        }
    }
    kcom::CComVariant v;
    V_VT(&v) = VT_ARRAY | cell;
    V_ARRAY(&v) = psa;
    return v;
}

inline kcom::CComVariant I4Column(const std::vector<LONG>& rows) { return Column<LONG>(VT_I4, rows); }
inline kcom::CComVariant VariantColumn(const std::vector<kcom::CComVariant>& rows) {
    return Column<kcom::CComVariant>(VT_VARIANT, rows);
}

// A stream that cannot tell its size: every call but Stat goes to the inner stream.
class CNoStatStream : public IStream {
public:
    explicit CNoStatStream(IStream* inner) : inner_(inner) {}
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) { *ppv = this; AddRef(); return S_OK; }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override { ULONG n = --refs_; if (!n) delete this; return n; }
    virtual ~CNoStatStream() = default;
    STDMETHOD(Read)(void* p, ULONG n, ULONG* read) override { return inner_->Read(p, n, read); }
    STDMETHOD(Write)(const void* p, ULONG n, ULONG* written) override { return inner_->Write(p, n, written); }
    STDMETHOD(Seek)(LARGE_INTEGER d, DWORD o, ULARGE_INTEGER* pos) override { return inner_->Seek(d, o, pos); }
    STDMETHOD(SetSize)(ULARGE_INTEGER n) override { return inner_->SetSize(n); }
    STDMETHOD(CopyTo)(IStream* s, ULARGE_INTEGER n, ULARGE_INTEGER* r, ULARGE_INTEGER* w) override { return inner_->CopyTo(s, n, r, w); }
    STDMETHOD(Commit)(DWORD f) override { return inner_->Commit(f); }
    STDMETHOD(Revert)() override { return inner_->Revert(); }
    STDMETHOD(LockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHOD(Stat)(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Clone)(IStream**) override { return E_NOTIMPL; }

private:
    kcom::CComPtr<IStream> inner_;
    ULONG refs_ = 1;
};

// Little-endian byte builders for hand-written streams.
struct ByteWriter {
    Bytes b;
    ByteWriter& u8(BYTE v) { b.push_back(v); return *this; }
    ByteWriter& u16(USHORT v) { u8(v & 0xFF); return u8(v >> 8); }
    ByteWriter& u32(ULONG v) { u16(v & 0xFFFF); return u16(v >> 16); }
    ByteWriter& raw(std::initializer_list<int> bytes) { for (int x : bytes) u8(static_cast<BYTE>(x)); return *this; }
    ByteWriter& raw(const void* p, size_t n) { auto* c = static_cast<const BYTE*>(p); b.insert(b.end(), c, c + n); return *this; }
    ByteWriter& ascii(const char* s, bool zero) { while (*s) u8(static_cast<BYTE>(*s++)); if (zero) u8(0); return *this; }
    // BSTR stream form: u32 bytes with terminator, the characters, the terminator.
    ByteWriter& text(const wchar_t* s) {
        std::wstring w(s);
        u32(static_cast<ULONG>(w.size() * 2 + 2));
        for (wchar_t c : w) u16(c);
        return u16(0);
    }
    ByteWriter& append(const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); return *this; }
};

// Growth of the process's committed memory over the last of three runs of work; the first two
// warm the heaps and caches such as the BSTR cache.
template <class F>
SIZE_T PrivateGrowth(F&& work) {
    auto usage = [] {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof counters;
        ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
        return counters.PagefileUsage;  // the committed private memory; the platform leaves PrivateUsage 0
    };
    work();
    work();
    const SIZE_T before = usage();
    work();
    const SIZE_T after = usage();
    return after > before ? after - before : 0;
}

// {6E0B53A4-2F11-4C7B-9B1D-3C55D0A1E701}
inline constexpr CLSID CLSID_TestPersistObject = {0x6e0b53a4, 0x2f11, 0x4c7b, {0x9b, 0x1d, 0x3c, 0x55, 0xd0, 0xa1, 0xe7, 0x01}};

// Persists one DWORD; created in-process through a registered class object.
class CTestPersistObject : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IPersistStream {
public:
    DWORD value = 0;
    BEGIN_COM_MAP(CTestPersistObject)
        COM_INTERFACE_ENTRY(IPersistStream)
        COM_INTERFACE_ENTRY(IPersist)
    END_COM_MAP()
    STDMETHOD(GetClassID)(CLSID* out) override { *out = CLSID_TestPersistObject; return S_OK; }
    STDMETHOD(IsDirty)() override { return S_FALSE; }
    STDMETHOD(Load)(IStream* s) override { ULONG n = 0; return s->Read(&value, 4, &n) == S_OK && n == 4 ? S_OK : E_FAIL; }
    STDMETHOD(Save)(IStream* s, BOOL) override { ULONG n = 0; return s->Write(&value, 4, &n); }
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) override { size->QuadPart = 4; return S_OK; }
};

// A class object for T, registered in-process for the lifetime of the holder.
template <class T>
class CTestClassFactory : public IClassFactory {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) { *ppv = this; return S_OK; }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) override {
        return kcom::CComCreatorNoAggregation<T>::CreateInstance(outer, iid, ppv);
    }
    STDMETHOD(LockServer)(BOOL) override { return S_OK; }
};

template <class T>
class TestClassRegistration {
public:
    explicit TestClassRegistration(REFCLSID clsid) {
        ::CoRegisterClassObject(clsid, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~TestClassRegistration() { if (cookie_) ::CoRevokeClassObject(cookie_); }
    TestClassRegistration(const TestClassRegistration&) = delete;
    TestClassRegistration& operator=(const TestClassRegistration&) = delete;
    bool ok() const { return cookie_ != 0; }

private:
    CTestClassFactory<T> factory_;
    DWORD cookie_ = 0;
};

class TestPersistRegistration : public TestClassRegistration<CTestPersistObject> {
public:
    TestPersistRegistration() : TestClassRegistration(CLSID_TestPersistObject) {}
};

template <class Rng>
void DamageBytes(Bytes& data, Rng& rng, int maxEdits);

// Seeded random corruptions a mutation run goes through at the least, besides every truncation
// and the single-bit flips.
inline constexpr int kSeededCorruptions = 100000;

// Random rounds per valid input when a run spreads kSeededCorruptions over inputs x passes.
inline int RoundsEach(size_t inputs, int passes) {
    const int loads = static_cast<int>(inputs) * passes;
    return (kSeededCorruptions + loads - 1) / loads;
}

// Hands load every single-bit flip of valid (every flipStep-th bit) and then rounds copies with
// a few random edits each.
template <class Rng, class F>
void ForEachCorruption(const Bytes& valid, Rng& rng, size_t flipStep, int rounds, int maxEdits, F&& load) {
    for (size_t bit = 0; bit < valid.size() * 8; bit += flipStep) {
        Bytes flipped = valid;
        flipped[bit / 8] ^= static_cast<BYTE>(1u << (bit % 8));
        load(flipped);
    }
    for (int round = 0; round < rounds; ++round) {
        Bytes damaged = valid;
        DamageBytes(damaged, rng, maxEdits);
        load(damaged);
    }
}

// Damages data in place with a few random edits: overwritten, dropped, inserted bytes and runs.
template <class Rng>
void DamageBytes(Bytes& data, Rng& rng, int maxEdits) {
    const int edits = 1 + static_cast<int>(rng() % maxEdits);
    for (int e = 0; e < edits && !data.empty(); ++e) {
        const size_t at = rng() % data.size();
        switch (rng() % 4) {
        case 0: data[at] = static_cast<BYTE>(rng()); break;
        case 1: data.erase(data.begin() + static_cast<long>(at)); break;
        case 2: data.insert(data.begin() + static_cast<long>(at), static_cast<BYTE>(rng())); break;
        default: {
            const size_t len = std::min<size_t>(data.size() - at, 1 + rng() % 16);
            for (size_t k = 0; k < len; ++k) data[at + k] = static_cast<BYTE>(rng());
        }
        }
    }
}
