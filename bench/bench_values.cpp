// Value save/load throughput of the property value form.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "values/ValueStream.h"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

kcom::CComVariant IntColumn(int rows) {
    SAFEARRAYBOUND b[2] = {{1, 0}, {static_cast<ULONG>(rows), 0}};
    SAFEARRAY* psa = ::SafeArrayCreate(VT_I4, 2, b);
    kcom::CComVariant v;
    V_VT(&v) = VT_ARRAY | VT_I4;
    V_ARRAY(&v) = psa;
    return v;
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        const kcom::CComVariant values[] = {kcom::CComVariant(42), kcom::CComVariant(L"WindowsForms10.Window.8.app"),
                                            kcom::CComVariant(3.5), kcom::CComVariant(true), IntColumn(8)};
        const int kValues = sizeof(values) / sizeof(values[0]);
        kcom::CComPtr<IStream> stream;
        ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
        const int rounds = 40000;
        LARGE_INTEGER t0, t1, t2;
        ::QueryPerformanceCounter(&t0);
        for (int r = 0; r < rounds; ++r) SaveVariantValue(values[r % kValues], stream);
        ::QueryPerformanceCounter(&t1);
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        kcom::CComVariant v;
        int loaded = 0;
        for (int r = 0; r < rounds; ++r) loaded += SUCCEEDED(LoadVariantValue(&v, stream)) ? 1 : 0;
        ::QueryPerformanceCounter(&t2);
        std::printf("BENCH value_save %.0f values/s\n", rounds / Seconds(t0, t1));
        std::printf("BENCH value_load %.0f values/s\n", loaded / Seconds(t1, t2));
    }
    ::CoUninitialize();
    return 0;
}
