#pragma once
// Tagged-field blocks: each field is a u16 ordinal tag (0, 1, 2, ... in declaration order) and its
// value; the block ends with the tag 0xFFFF. A reader meets fields it does not know as errors and
// fields the writer left out as absent. Failures are raised as kcom::ComError.
#include <windows.h>
#include <objidl.h>
#include "com/ComError.h"
#include "streams/StreamIO.h"

inline constexpr USHORT kTagBlockEnd = 0xFFFF;

class CTaggedFieldWriter {
public:
    explicit CTaggedFieldWriter(IStream* stream) noexcept : stream_(stream) {}
    template <class T>
    void Field(const T& value) {
        kcom::ThrowIfFailed(StreamWriteValue<USHORT>(stream_, ordinal_++));
        kcom::ThrowIfFailed(StreamWriteValue(stream_, value));
    }
    void End() { kcom::ThrowIfFailed(StreamWriteValue<USHORT>(stream_, kTagBlockEnd)); }

private:
    IStream* stream_;
    USHORT ordinal_ = 0;
};

class CTaggedFieldReader {
public:
    explicit CTaggedFieldReader(IStream* stream) noexcept : stream_(stream) {}
    // True when the field is present (value read); an absent field keeps its value.
    template <class T>
    bool Field(T* value) {
        const USHORT ordinal = ordinal_++;
        if (!pending_) ReadTag();
        if (tag_ != kTagBlockEnd && static_cast<SHORT>(tag_) < static_cast<SHORT>(ordinal)) kcom::Throw(E_FAIL);
        if (tag_ != ordinal) return false;  // a later field or the end: stays pending
        pending_ = false;
        if (FAILED(StreamReadValue(stream_, value))) kcom::Throw(E_FAIL);
        return true;
    }
    void End() {
        if (!pending_) ReadTag();
        pending_ = false;
        if (tag_ != kTagBlockEnd) kcom::Throw(E_FAIL);
    }

private:
    void ReadTag() {
        if (FAILED(StreamReadValue(stream_, &tag_))) kcom::Throw(E_FAIL);
        pending_ = true;
    }
    IStream* stream_;
    USHORT ordinal_ = 0;
    USHORT tag_ = 0;
    bool pending_ = false;
};
