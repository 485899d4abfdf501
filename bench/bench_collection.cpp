// Description save and load throughput for a typical 20-property description.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "description/PropertiesCollection.h"
#include "description/PropertyFactory.h"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

void Describe(CPropertiesCollection& c) {
    for (int i = 0; i < 20; ++i) {
        kcom::CComBSTR name((L"property" + std::to_wstring(i)).c_str());
        c.Add(name, nullptr, i % 4 == 0 ? 0x18 : 0x8);
        kcom::CComVariant value;
        switch (i % 4) {
        case 0: value = kcom::CComVariant((L"ThunderRT6CommandButton " + std::to_wstring(i)).c_str()); break;
        case 1: value = kcom::CComVariant(i * 17); break;
        case 2: value = kcom::CComVariant(true); break;
        default: value = kcom::CComVariant(i * 0.5); break;
        }
        c.Find(name)->Set(&value, nullptr, nullptr, nullptr, nullptr);
    }
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    dynamic::RegisterPropertyFactories();
    {
        CPropertiesCollection description;
        Describe(description);
        const int rounds = 3000;
        kcom::CComPtr<IStream> stream;
        ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
        LARGE_INTEGER t0, t1, t2;
        ::QueryPerformanceCounter(&t0);
        for (int r = 0; r < rounds; ++r) description.Save(stream);
        ::QueryPerformanceCounter(&t1);
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        int loaded = 0;
        for (int r = 0; r < rounds; ++r) {
            CPropertiesCollection copy;
            loaded += SUCCEEDED(copy.Load(stream)) && copy.Records().size() == 20 ? 1 : 0;
        }
        ::QueryPerformanceCounter(&t2);
        std::printf("BENCH collection_save %.0f descriptions/s\n", rounds / Seconds(t0, t1));
        std::printf("BENCH collection_load %.0f descriptions/s\n", loaded / Seconds(t1, t2));
    }
    ::CoUninitialize();
    return 0;
}
