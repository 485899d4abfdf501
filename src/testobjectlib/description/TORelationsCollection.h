#pragma once
// The host's relations collection, held as the value of the visual-relations property.
#include <windows.h>
#include <oaidl.h>

inline constexpr wchar_t kRelationsCollectionProgId[] = L"ZQ.TORelationsCollection";

MIDL_INTERFACE("1B680444-C4ED-4C40-A86F-8EB4DF907D30")
ITORelationsCollection : public IDispatch {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
    // A new collection holding copies of the relations.
    virtual HRESULT STDMETHODCALLTYPE Clone(ITORelationsCollection** copy) = 0;
    // S_OK when other holds the same relations, S_FALSE when not.
    virtual HRESULT STDMETHODCALLTYPE Compare(ITORelationsCollection* other) = 0;
};
__CRT_UUID_DECL(ITORelationsCollection, 0x1B680444, 0xC4ED, 0x4C40, 0xA8, 0x6F, 0x8E, 0xB4, 0xDF, 0x90, 0x7D, 0x30)
