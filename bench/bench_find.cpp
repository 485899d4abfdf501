// Identification of one object among 1, 10 and 1000 candidates: the test object's whole search
// (description, query, relations, decision, record) against the host query engine's own call,
// measured alone in the same run as the baseline; and a re-find from the record against a first
// find.
#include <windows.h>
#include <objbase.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/forwarding/ObjectRackClientContainer.h"

namespace {

// The smallest concrete test object a search needs: its rack and its own IDispatch.
class CBenchObject : public CComTestObject,
                     public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                     public IDispatch,
                     public ObjectRackClientContainer<CBenchObject> {
public:
    BEGIN_COM_MAP(CBenchObject)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE InternalQueryInterface(REFIID iid, void** out) override {
        return _InternalQueryInterface(iid, out);
    }
    STDMETHOD(GetRack)(IObjectRack** rack) override { return ObjectRackClientContainer::GetRack(rack); }
    UINT STDMETHODCALLTYPE GetClipboardFormat() override { return ::RegisterClipboardFormatW(L"Kestrune bench"); }
    HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* name) override {
        *name = ::SysAllocString(L"BenchClass");
        return S_OK;
    }
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

double Now() {
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Microseconds per call over a tenth of a second.
double MicrosecondsPer(const std::function<void()>& call) {
    long calls = 0;
    const double start = Now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 20; ++i) call();
        calls += 20;
        elapsed = Now() - start;
    } while (elapsed < 0.1);
    return elapsed * 1e6 / calls;
}

// The best of rounds that take turns, so that both sides see the same machine.
void Alternate(const std::function<void()>& a, double& bestA, const std::function<void()>& b, double& bestB) {
    bestA = bestB = 1e300;
    for (int round = 0; round < 7; ++round) {
        bestA = std::min(bestA, MicrosecondsPer(a));
        bestB = std::min(bestB, MicrosecondsPer(b));
    }
}

const wchar_t* const kProperties[] = {L"text", L"class", L"id"};

kcom::CComVariant ValueOf(int property, int candidate) {
    switch (property) {
    case 0: return kcom::CComVariant((L"Item " + std::to_wstring(candidate)).c_str());
    case 1: return kcom::CComVariant(L"Button");
    default: return kcom::CComVariant(1000L + candidate);
    }
}

void Measure(int candidates) {
    standin::CTestHost host;
    host.queryEngine->SetQuiet(true);
    for (int c = 0; c < candidates; ++c) {
        standin::RuntimeObject o = host.queryEngine->AddObject(L"candidate");
        for (int p = 0; p < 3; ++p) o->properties.Put(kProperties[p], ValueOf(p, c));
    }
    auto object = standin::Holder<CBenchObject>::New();
    object.as<IObjectRackClient>()->SetRack(host.Rack());
    const int target = candidates - 1;  // the last one: the engine looks at every candidate
    CKorSafeArray description(3, 5, VT_VARIANT);
    for (int p = 0; p < 3; ++p) {
        kcom::CComBSTR name(kProperties[p]);
        long flags = 0x10;
        kcom::CComVariant value = ValueOf(p, target);
        object->ITestObjectInfo_put_PropExpr(name, &flags, nullptr, nullptr, value);
        kcom::CComVariant nameCell(kProperties[p]), flagsCell(flags);
        description.PutElement(&nameCell, p, 0);
        description.PutElement(&value, p, 1);
        description.PutElement(&flagsCell, p, 2);
    }

    IKorQuery* engine = host.queryEngine.as<IKorQuery>();
    bool right = true;
    auto query = [&] {
        QueryIdInfo context{10000, 500};
        CKorSafeArray found;
        engine->QueryIdFromContainer(description.psa, nullptr, &found.psa, &context, nullptr);
        right = right && found.GetRowCount() == 1;
    };
    auto find = [&] {
        object->DispTestObject_Init();
        right = object->ITestObject_FindObjectId(nullptr, nullptr) == S_OK && right;
    };
    auto refind = [&] { object->ITestObject_FindObjectId(nullptr, nullptr); };
    double queryUs = 0, findUs = 0, refindUs = 0, again = 0;
    Alternate(query, queryUs, find, findUs);
    Alternate(refind, refindUs, find, again);
    if (!right) std::printf("find_%d did not find its object\n", candidates);

    findUs = std::min(findUs, again);
    std::printf("BENCH query_%d %.2f us/find\n", candidates, queryUs);
    std::printf("BENCH find_%d %.2f us/find ratio %.3f vs query_%d\n", candidates, findUs, findUs / queryUs, candidates);
    std::printf("BENCH find_overhead_%d %.2f us/find\n", candidates, findUs - queryUs);
    std::printf("BENCH refind_cached_%d %.3f us/find ratio %.4f vs find_%d\n", candidates, refindUs, refindUs / findUs,
                candidates);
    std::printf("BENCH refind_speedup_%d %.0f x\n", candidates, findUs / refindUs);
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int candidates : {1, 10, 1000}) Measure(candidates);
    ::CoUninitialize();
    return 0;
}
