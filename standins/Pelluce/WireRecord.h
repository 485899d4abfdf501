#pragma once
// The byte form of one parameter record as it travels between the two processes.
#include <windows.h>
#include <oleauto.h>
#include <cstdint>
#include <string>
#include <vector>
#include "com/ComVariant.h"

// What the shared section starts with; the record's bytes follow it.
struct CWireHeader {
    enum : ULONG { Magic = 0x45434C50 };  // "PLCE"
    enum State : LONG { Idle = 0, Pending = 1, Answered = 2, TooLarge = 3, Unreadable = 4 };
    ULONG magic;
    ULONG pid;          // sender
    ULONG generation;   // which section of the sender this is
    ULONG sequence;     // one per request; a late reply to an older request is dropped
    volatile LONG state;
    ULONG capacity;     // bytes available after the header
    ULONG size;         // bytes of the record after the header
    ULONG needed;       // TooLarge: the size the reply would have needed

    // Name of a sender's shared section; the carrier message passes pid and generation.
    static std::wstring SectionName(ULONG pid, ULONG generation) {
        return L"Local\\PelluceStub_" + std::to_wstring(pid) + L"_" + std::to_wstring(generation);
    }
};

class CWireRecord {
public:
    ULONG request = 0;
    ULONG window = 0;
    LONG cookie = 0;
    LONG result = 0;
    bool hasBlob = false;        // false: a null blob pointer (blobLength may still be non-zero)
    ULONG blobLength = 0;        // the length field, as the record carried it
    std::vector<BYTE> blob;
    kcom::CComVariant a;
    kcom::CComVariant b;
    bool hasStream = false;
    std::vector<BYTE> stream;    // every byte of the stream, from its start

    // Appends the record's bytes; a VARIANT the format does not carry gives DISP_E_BADVARTYPE.
    HRESULT Write(std::vector<BYTE>& out) const;
    // Reads a record back; malformed or truncated bytes give E_INVALIDARG and leave *this unusable.
    HRESULT Read(const BYTE* data, size_t size);

    static HRESULT WriteVariant(std::vector<BYTE>& out, const VARIANT& v);
    static HRESULT ReadVariant(const BYTE*& p, const BYTE* end, VARIANT* v);
    // Every byte of a stream from its start; its seek position is left where it was.
    static HRESULT StreamBytes(IStream* stream, std::vector<BYTE>& out);
    // A new memory stream holding bytes, positioned at its start.
    static HRESULT StreamFromBytes(const std::vector<BYTE>& bytes, IStream** out);
    // The registered name of a message number ("#<number>" when it has none).
    static std::wstring MessageName(ULONG message);
};
