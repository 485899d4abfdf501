#include "streams/ReadStreamDword.h"
#include "com/ComError.h"

void ReadStreamDword(IStream* stream, DWORD* value) {
    if (!stream || !value) kcom::Throw(E_POINTER);
    ULONG read = 0;
    kcom::ThrowIfFailed(stream->Read(value, sizeof(DWORD), &read));
    if (read != sizeof(DWORD)) kcom::Throw(E_FAIL);
}
