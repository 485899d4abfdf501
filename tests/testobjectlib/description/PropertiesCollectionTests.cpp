// The property collection and its stream: exact bytes, every record version, damage.
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "values/FlatVariant.h"
#include "description/PropertiesCollection.h"
#include "description/PropertyFactory.h"
#include "description/PropertyTestSupport.h"
#include "values/StreamTestSupport.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

class CollectionStream : public ::testing::Test {
protected:
    void SetUp() override { dynamic::RegisterPropertyFactories(); }
};

const Bytes kMarker = {'@', '@', 'F', 'F', 'F', 'F', '@', '@', 0};

ByteWriter Header(ULONG version = 4) {
    ByteWriter w;
    w.u16(0).u32(version);
    return w;
}

ByteWriter& Trailer(ByteWriter& w) { return w.append(kMarker).text(L".EndOfCollection").u16(0xFFFF); }

ByteWriter& RecordHead(ByteWriter& w, const wchar_t* name, const char* cls, ULONG version) {
    return w.append(kMarker).text(name).u32(static_cast<ULONG>(std::strlen(cls) + 1)).ascii(cls, true).u32(version);
}

// Fields of a current record: flags, type, compare type, property data, end.
ByteWriter& Fields(ByteWriter& w, ULONG flags, USHORT type, ULONG cmp, const Bytes& data = {0, 0}) {
    w.u16(0).u32(flags).u16(1).u16(type).u16(2).u32(cmp).u32(static_cast<ULONG>(data.size())).append(data);
    return w.u16(0xFFFF);
}

void AddValue(CPropertiesCollection& c, const wchar_t* name, const VARIANT& value, DWORD flags = 0x18,
              DWORD cmp = 0, const VARIANT* data = nullptr, CProperty* record = nullptr) {
    CComBSTR n(name);
    ASSERT_EQ(c.Add(n, record, flags), S_OK);
    ASSERT_EQ(c.Find(n)->Set(&value, nullptr, nullptr, &cmp, data), S_OK);
}

Bytes SavedBytes(CPropertiesCollection& c) {
    CComPtr<IStream> s = NewStream();
    EXPECT_EQ(c.Save(s), S_OK);
    return BytesOf(s);
}

HRESULT LoadBytes(CPropertiesCollection& c, const Bytes& data) {
    CComPtr<IStream> s = StreamOf(data);
    return c.Load(s);
}

Bytes PackOf(const VARIANT& v) {
    kcom::CCoTaskMem<BYTE> p;
    ULONG n = 0;
    PackVariantFlat(v, p.Put(), &n);
    return Bytes(p.get(), p.get() + n);
}

// A record as its stored form: value pack, fields and property data.
struct RecordImage {
    std::string cls;
    Bytes value;
    DWORD flags;
    USHORT type;
    DWORD cmp;
    Bytes data;
    bool operator==(const RecordImage&) const = default;
};

RecordImage ImageOf(CProperty& p) {
    return {p.GetClassName(), PackOf(p), p.m_flags, p.m_type, p.m_compareType, PackOf(p.m_propData)};
}

void ExpectSameRecords(const CPropertiesCollection& a, const CPropertiesCollection& b) {
    ASSERT_EQ(a.Records().size(), b.Records().size());
    auto ib = b.Records().begin();
    for (const auto& [name, p] : a.Records()) {
        EXPECT_STREQ(name.c_str(), ib->first.c_str());
        EXPECT_EQ(ImageOf(*p), ImageOf(*ib->second));
        ++ib;
    }
}

// A typical description with a value of every kind the stream carries.
void FillDescription(CPropertiesCollection& c) {
    CComVariant column = I4Column({3, 1, 4});
    CComVariant null;
    V_VT(&null) = VT_NULL;
    CComVariant date;
    V_VT(&date) = VT_DATE;
    date.date = 45000.25;
    CComVariant big;
    V_VT(&big) = VT_I8;
    big.llVal = -1234567890123ll;
    CComVariant data(L"data");
    AddValue(c, L"text", CComVariant(L"OK"), 0x18, 0, &data);
    AddValue(c, L"nativeclass", CComVariant(L"ThunderCommandButton"), 0x10, 1);
    AddValue(c, L"index", CComVariant(2), 0x448);
    AddValue(c, L"abs_x", CComVariant(1.5), 0x8, 2, &column);
    AddValue(c, L"enabled", CComVariant(true));
    AddValue(c, L"items", column);
    AddValue(c, L"nothing", null);
    AddValue(c, L"when", date);
    AddValue(c, L"big", big);
    AddValue(c, L"Class Name", CComVariant(L"ActiveX"), 0x8, 0, nullptr, new CKorClassProperty(nullptr));
}

// The typical description and a record holding a persisted object (its class registered by the caller).
void FillDescriptionWithObject(CPropertiesCollection& c) {
    FillDescription(c);
    CComPtr<IPersistStream> object;
    ASSERT_EQ(::CoCreateInstance(CLSID_TestPersistObject, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream,
                                 reinterpret_cast<void**>(object.Put())), S_OK);
    AddValue(c, L"object", CComVariant(static_cast<IUnknown*>(object.get())));
}

// Records of versions 4, 3, 2, 1 and 6 behind a version 3 header.
Bytes OlderVersionsStream() {
    ByteWriter w = Header(3);
    // Version 4: fields and property data as now.
    RecordHead(w, L"v4", "CProperty", 4).u16(VT_I2).u16(9);
    Fields(w, 0x10, VT_I2, 8, {8, 0, 2, 0, 0, 0, 0x71, 0});
    // Version 3: no property data.
    RecordHead(w, L"v3", "CProperty", 3).u16(VT_BSTR).text(L"three");
    w.u16(0).u32(0x18).u16(1).u16(VT_BSTR).u16(2).u32(1).u16(0xFFFF);
    // Version 2: the type word carries the compare type; an expression names a data-table cell.
    RecordHead(w, L"v2", "CProperty", 2).u16(VT_BSTR).text(L"x");
    w.u16(0).u32(0x1100).u16(1).u16(0x0165).u16(0xFFFF);
    RecordHead(w, L"v2plain", "CProperty", 1).u16(VT_BSTR).text(L"y");
    w.u16(0).u32(0x100).u16(1).u16(0x0108).u16(0xFFFF);
    // A later version reads as the current one.
    RecordHead(w, L"v6", "CProperty", 6).u16(VT_I4).u32(6);
    Fields(w, 0x8, VT_I4, 0);
    Trailer(w);
    return w.b;
}

}  // namespace

TEST_F(CollectionStream, EmptyCollectionBytes) {
    CPropertiesCollection c;
    Bytes expect = Header().b;
    Trailer(ByteWriter().append(expect)).b.swap(expect);
    const Bytes saved = SavedBytes(c);
    EXPECT_EQ(saved, expect);
    ASSERT_EQ(saved.size(), 6u + 9u + 4u + 34u + 2u);
    EXPECT_EQ(saved[15], 0x22);
    EXPECT_EQ(LoadBytes(c, saved), S_OK);
    EXPECT_TRUE(c.Records().empty());
    EXPECT_EQ(c.Save(nullptr), E_POINTER);
    EXPECT_EQ(c.Load(nullptr), E_POINTER);
}

TEST_F(CollectionStream, CurrentRecordBytes) {
    CPropertiesCollection c;
    CComVariant data(7);
    AddValue(c, L"A", CComVariant(L"OK"), 0x18, 4, &data);
    AddValue(c, L"b", CComVariant(5));
    AddValue(c, L"hidden", CComVariant(1), 0x19);
    CComBSTR empty(L"empty");
    ASSERT_EQ(c.Add(empty, nullptr, 0x8), S_OK);

    ByteWriter w = Header();
    RecordHead(w, L"b", "CProperty", 5).u16(VT_I4).u32(5);
    Fields(w, 0x18, VT_I4, 0);
    RecordHead(w, L"A", "CProperty", 5).u16(VT_BSTR).text(L"OK");
    Fields(w, 0x18, VT_BSTR, 4, {3, 0, 7, 0, 0, 0});
    Trailer(w);
    const Bytes saved = SavedBytes(c);
    EXPECT_EQ(saved, w.b) << "'b' before 'A'; flag 0x1 and empty values are not saved";

    CPropertiesCollection back;
    ASSERT_EQ(LoadBytes(back, w.b), S_OK);
    ASSERT_EQ(back.Records().size(), 2u);
    CComVariant value, outData;
    DWORD flags = 0, cmp = 0;
    USHORT type = 0;
    ASSERT_EQ(back.GetExpr(CComBSTR(L"a"), &value, &flags, &type, &cmp, &outData), S_OK);
    EXPECT_STREQ(value.bstrVal, L"OK");
    EXPECT_EQ(flags, 0x18u);
    EXPECT_EQ(type, VT_BSTR);
    EXPECT_EQ(cmp, 4u);
    EXPECT_EQ(outData.vt, VT_I4);
    EXPECT_EQ(outData.lVal, 7);
}

TEST_F(CollectionStream, OlderRecordVersions) {
    const Bytes older = OlderVersionsStream();

    CPropertiesCollection c;
    ASSERT_EQ(LoadBytes(c, older), S_OK);
    ASSERT_EQ(c.Records().size(), 5u);
    CProperty* v4 = c.Find(CComBSTR(L"v4"));
    ASSERT_NE(v4, nullptr);
    EXPECT_EQ(v4->vt, VT_I2);
    EXPECT_EQ(v4->iVal, 9);
    EXPECT_EQ(v4->m_compareType, 8u);
    EXPECT_STREQ(v4->m_propData.bstrVal, L"q");
    CProperty* v3 = c.Find(CComBSTR(L"v3"));
    EXPECT_STREQ(v3->bstrVal, L"three");
    EXPECT_EQ(v3->m_compareType, 1u);
    EXPECT_EQ(v3->m_propData.vt, VT_EMPTY);
    CProperty* v2 = c.Find(CComBSTR(L"v2"));
    EXPECT_STREQ(v2->bstrVal, L"DataTable(\"x\",dtLocalSheet)");
    EXPECT_EQ(v2->m_flags, 0x100u);
    EXPECT_EQ(v2->m_type, 0);
    EXPECT_EQ(v2->m_compareType, 3u);
    CProperty* v2plain = c.Find(CComBSTR(L"v2plain"));
    EXPECT_STREQ(v2plain->bstrVal, L"DataTable(\"y\",dtGlobalSheet)");
    EXPECT_EQ(v2plain->m_compareType, 2u);
    EXPECT_EQ(v2plain->m_type, 0);
    CProperty* v6 = c.Find(CComBSTR(L"v6"));
    EXPECT_EQ(v6->lVal, 6);

    // Saved again, every record is written in the current version.
    CPropertiesCollection again;
    ASSERT_EQ(LoadBytes(again, SavedBytes(c)), S_OK);
    ExpectSameRecords(c, again);
    for (const auto& [name, p] : again.Records()) EXPECT_EQ(p->m_loadedVersion, 5u);
}

TEST_F(CollectionStream, UpgradeOfANonTextExpressionKeepsTheValue) {
    ByteWriter w = Header();
    RecordHead(w, L"n", "CProperty", 2).u16(VT_I4).u32(4);
    w.u16(0).u32(0x1100).u16(1).u16(0x0003).u16(0xFFFF);
    Trailer(w);
    CPropertiesCollection c;
    ASSERT_EQ(LoadBytes(c, w.b), S_OK);
    CProperty* n = c.Find(CComBSTR(L"n"));
    EXPECT_EQ(n->vt, VT_I4);
    EXPECT_EQ(n->m_flags, 0x1100u);
    EXPECT_EQ(n->m_type, VT_I4);
}

TEST_F(CollectionStream, ReaderSkipsWhatItCannotUse) {
    ByteWriter w = Header();
    w.raw({1, 2, 3, '@', '@', 'F', 0x55});  // garbage and a broken marker start
    RecordHead(w, L"alien", "CKorAlienProperty", 5).u16(VT_I4).u32(1);
    Fields(w, 0x8, VT_I4, 0);
    w.append(kMarker).text(L"long").u32(60).ascii("CPropertyCPropertyCPropertyCPropertyCPropertyCPropertyCProper", false);
    w.u32(5).u16(VT_I4).u32(2);  // a class name longer than the writer ever writes
    Fields(w, 0x8, VT_I4, 0);
    w.append(kMarker).u32(61).u16('x');  // a name that does not read
    w.append(kMarker).u32(0x40);  // a name length that would swallow the next record
    RecordHead(w, L"good", "CKorGenTypeProperty", 5).u16(VT_BSTR).text(L"Button");
    Fields(w, 0x8, VT_BSTR, 0);
    w.append(kMarker).text(L"headless");  // a record cut short after its name
    RecordHead(w, L"good2", "CProperty", 5).u16(VT_I4).u32(2);
    Fields(w, 0x8, VT_I4, 0);
    ByteWriter cut = w;
    Trailer(w);
    CPropertiesCollection c;
    ASSERT_EQ(LoadBytes(c, w.b), S_OK);
    ASSERT_EQ(c.Records().size(), 2u);
    EXPECT_STREQ(c.Find(CComBSTR(L"good"))->GetClassName(), "CKorGenTypeProperty");
    EXPECT_EQ(c.Find(CComBSTR(L"good2"))->lVal, 2);

    // A record cut short before the next marker: its load fails and ends the read; the
    // records before it stay.
    RecordHead(cut, L"cut", "CProperty", 5).u16(VT_BSTR);
    RecordHead(cut, L"after", "CProperty", 5).u16(VT_I4).u32(1);
    Fields(cut, 0x8, VT_I4, 0);
    Trailer(cut);
    CPropertiesCollection d;
    EXPECT_EQ(LoadBytes(d, cut.b), E_FAIL);
    EXPECT_NE(d.Find(CComBSTR(L"good")), nullptr);
    EXPECT_EQ(d.Find(CComBSTR(L"after")), nullptr);
}

TEST_F(CollectionStream, LaterRecordsReplaceEarlierAndLoadAdds) {
    ByteWriter w = Header();
    RecordHead(w, L"Name", "CProperty", 5).u16(VT_I4).u32(1);
    Fields(w, 0x8, VT_I4, 0);
    RecordHead(w, L"NAME", "CProperty", 5).u16(VT_I4).u32(2);
    Fields(w, 0x8, VT_I4, 0);
    Trailer(w);
    CPropertiesCollection c;
    AddValue(c, L"kept", CComVariant(9));
    AddValue(c, L"name", CComVariant(0));
    ASSERT_EQ(LoadBytes(c, w.b), S_OK);
    ASSERT_EQ(c.Records().size(), 2u);
    EXPECT_EQ(c.Find(CComBSTR(L"name"))->lVal, 2);
    EXPECT_EQ(c.Find(CComBSTR(L"kept"))->lVal, 9);
}

TEST_F(CollectionStream, HeaderVersions) {
    ByteWriter five = Header(5);
    Trailer(five);
    CPropertiesCollection c;
    EXPECT_EQ(LoadBytes(c, five.b), E_INVALIDARG);
    // No tag 0: version 0; the records follow directly.
    ByteWriter none;
    none.u16(0xFFFF);
    RecordHead(none, L"x", "CProperty", 5).u16(VT_I4).u32(3);
    Fields(none, 0x8, VT_I4, 0);
    Trailer(none);
    ASSERT_EQ(LoadBytes(c, none.b), S_OK);
    EXPECT_EQ(c.Find(CComBSTR(L"x"))->lVal, 3);
    // A tag smaller than expected, or a stream that ends before its trailer.
    ByteWriter smaller;
    smaller.u16(0x8000);
    EXPECT_EQ(LoadBytes(c, smaller.b), E_FAIL);
    ByteWriter unfinished = Header();
    RecordHead(unfinished, L"y", "CProperty", 5).u16(VT_I4).u32(4);
    Fields(unfinished, 0x8, VT_I4, 0);
    CPropertiesCollection d;
    EXPECT_EQ(LoadBytes(d, unfinished.b), E_FAIL);
    EXPECT_EQ(d.Find(CComBSTR(L"y"))->lVal, 4) << "records read before the end stay";
    // A record block with a field this version does not know does not load.
    ByteWriter extra = Header();
    RecordHead(extra, L"z", "CProperty", 5).u16(VT_I4).u32(4);
    extra.u16(0).u32(8).u16(1).u16(3).u16(2).u32(0).u32(2).u16(0).u16(3).u32(0).u16(0xFFFF);
    Trailer(extra);
    EXPECT_EQ(LoadBytes(d, extra.b), E_FAIL);
}

TEST_F(CollectionStream, UnsavableRecordsLeaveTheStreamIntact) {
    CPropertiesCollection c;
    FillDescription(c);
    const Bytes clean = SavedBytes(c);
    // An object inside an array value cannot be saved; neither can an object without persistence.
    CComPtr<IStream> object = NewStream();
    CComVariant objectCell(static_cast<IUnknown*>(object.get()));
    AddValue(c, L"m_bad", VariantColumn({objectCell}));
    AddValue(c, L"a_bad", objectCell);
    EXPECT_EQ(SavedBytes(c), clean) << "the good records keep their exact bytes";
    CPropertiesCollection back;
    ASSERT_EQ(LoadBytes(back, clean), S_OK);
    EXPECT_EQ(back.Records().size(), c.Records().size() - 2);

    // Property data the packer refuses is stored empty; the record and the ones after it load.
    CPropertiesCollection d;
    AddValue(d, L"z", CComVariant(1), 0x8, 0, &objectCell);
    AddValue(d, L"a", CComVariant(2));
    CPropertiesCollection dBack;
    ASSERT_EQ(LoadBytes(dBack, SavedBytes(d)), S_OK);
    ASSERT_EQ(dBack.Records().size(), 2u);
    EXPECT_EQ(dBack.Find(CComBSTR(L"z"))->m_propData.vt, VT_EMPTY);
    EXPECT_EQ(dBack.Find(CComBSTR(L"a"))->lVal, 2);
}

TEST_F(CollectionStream, RoundTripOfEveryValueKind) {
    TestPersistRegistration registration;
    RelationsRegistration relations;
    CPropertiesCollection c;
    ASSERT_NO_FATAL_FAILURE(FillDescriptionWithObject(c));
    const Bytes saved = SavedBytes(c);
    CPropertiesCollection back;
    ASSERT_EQ(LoadBytes(back, saved), S_OK);
    ExpectSameRecords(c, back);  // the object has no flat form: its bytes below tell
    EXPECT_EQ(back.Find(CComBSTR(L"object"))->vt, VT_UNKNOWN);
    EXPECT_EQ(SavedBytes(back), saved);
}

TEST_F(CollectionStream, AccessorsByName) {
    FakeOwner owner;
    CPropertiesCollection c(&owner);
    CComBSTR name(L"Prop"), absent(L"none");
    ASSERT_EQ(c.Add(name, nullptr, 0x18), S_OK);
    EXPECT_EQ(c.Find(name)->m_owner, &owner);
    CComVariant value;
    DWORD flags = 0;
    USHORT type = 0;
    EXPECT_EQ(c.Get(absent, &value, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(c.GetExpr(absent, &value, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(c.Set(absent, CComVariant(1), nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(c.Find(absent), nullptr) << "a set never creates a record";
    EXPECT_EQ(c.Compare(absent, CComVariant(1)), E_FAIL);
    EXPECT_EQ(c.GetPropFlags(absent, &flags), E_FAIL);
    EXPECT_EQ(c.GetPropFlags(name, nullptr), E_INVALIDARG);
    EXPECT_EQ(c.GetPropType(absent, nullptr), E_INVALIDARG);
    EXPECT_EQ(c.SetPropType(absent, 3), E_FAIL);
    EXPECT_EQ(c.SetPropData(absent, CComVariant(1)), E_FAIL);

    ASSERT_EQ(c.Set(name, CComVariant(L"12"), nullptr, nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(c.SetPropType(name, VT_I4), S_OK);
    ASSERT_EQ(c.SetPropCompareType(name, 4), S_OK);
    ASSERT_EQ(c.SetPropFlags(name, 0x10), S_OK);
    ASSERT_EQ(c.SetPropData(name, CComVariant(L"d")), S_OK);
    ASSERT_EQ(c.Get(name, &value, &flags, &type, nullptr, nullptr), S_OK);
    EXPECT_EQ(value.vt, VT_I4) << "the evaluated value";
    ASSERT_EQ(c.GetExpr(name, &value, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR) << "the stored value";
    DWORD cmp = 0;
    ASSERT_EQ(c.GetPropCompareType(name, &cmp), S_OK);
    EXPECT_EQ(cmp, 4u);
    ASSERT_EQ(c.GetPropFlags(name, &flags), S_OK);
    EXPECT_EQ(flags, 0x10u);
    CComVariant data;
    ASSERT_EQ(c.GetPropData(name, &data), S_OK);
    EXPECT_STREQ(data.bstrVal, L"d");
    EXPECT_EQ(c.Compare(name, CComVariant(12)), S_OK);
    EXPECT_EQ(c.Compare(name, CComVariant(13)), E_FAIL);
    VARIANT uncopiable{};
    uncopiable.vt = VT_CLSID;
    EXPECT_EQ(c.Compare(name, uncopiable), DISP_E_BADVARTYPE) << "a value that cannot be copied is not compared";

    // Inserting the held record again keeps it; a null record is refused.
    CProperty* held = c.Find(name);
    EXPECT_EQ(c.Insert(name, held), S_OK);
    EXPECT_EQ(c.Find(name), held);
    EXPECT_EQ(c.Insert(name, nullptr), E_POINTER);
    EXPECT_EQ(c.Insert(CComBSTR(L"PROP"), new CProperty), S_OK);
    EXPECT_EQ(c.Records().size(), 1u);
    EXPECT_NE(c.Find(name), held);
}

namespace {

// A source stream that counts its reads and, when asked, cannot seek.
class CCountingStream final : public IStream {
public:
    CCountingStream(IStream* inner, bool canSeek) : inner_(inner), canSeek_(canSeek) {}
    ULONG reads = 0;
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) { *ppv = this; AddRef(); return S_OK; }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override { return --refs_; }  // lives on the test's stack
    STDMETHOD(Read)(void* p, ULONG n, ULONG* read) override { ++reads; return inner_->Read(p, n, read); }
    STDMETHOD(Write)(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHOD(Seek)(LARGE_INTEGER d, DWORD o, ULARGE_INTEGER* pos) override {
        return canSeek_ ? inner_->Seek(d, o, pos) : STG_E_INVALIDFUNCTION;
    }
    STDMETHOD(SetSize)(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    STDMETHOD(CopyTo)(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(Commit)(DWORD) override { return S_OK; }
    STDMETHOD(Revert)() override { return S_OK; }
    STDMETHOD(LockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHOD(Stat)(STATSTG* stat, DWORD flags) override { return canSeek_ ? inner_->Stat(stat, flags) : E_NOTIMPL; }
    STDMETHOD(Clone)(IStream**) override { return E_NOTIMPL; }

private:
    kcom::CComPtr<IStream> inner_;
    bool canSeek_;
    ULONG refs_ = 1;
};

}  // namespace

TEST_F(CollectionStream, LoadReadsThroughABufferAndLeavesTheSourceWhereItStopped) {
    TestPersistRegistration registration;
    CPropertiesCollection c;
    ASSERT_NO_FATAL_FAILURE(FillDescriptionWithObject(c));
    AddValue(c, L"long", CComVariant(std::wstring(12000, L'x').c_str()));  // records straddle the buffer
    const Bytes saved = SavedBytes(c);
    const Bytes followed = ByteWriter().append(saved).raw({1, 2, 3, 4}).b;
    for (bool canSeek : {true, false}) {
        SCOPED_TRACE(canSeek ? "seekable source" : "source that cannot seek");
        CComPtr<IStream> inner = StreamOf(followed);
        CCountingStream source(inner, canSeek);
        CPropertiesCollection back;
        ASSERT_EQ(back.Load(&source), S_OK);
        ExpectSameRecords(c, back);
        EXPECT_EQ(PositionOf(inner), saved.size()) << "the bytes behind the collection stay unread";
        if (canSeek) {
            EXPECT_LT(source.reads, 8u) << "not one read per field or byte";
        }
    }

    // A record whose value fails to load ends the load just behind the bytes that value read.
    ByteWriter w = Header();
    RecordHead(w, L"a", "CProperty", 5).u16(VT_ARRAY | VT_I4).u32(3).raw({0x03, 0x20, 0x03});
    const size_t stop = w.b.size();
    Fields(w, 0x8, VT_I4, 0);
    Trailer(w);
    CComPtr<IStream> damaged = StreamOf(w.b);
    CPropertiesCollection d;
    EXPECT_EQ(d.Load(damaged), E_FAIL);
    EXPECT_EQ(PositionOf(damaged), stop);
}

namespace {

// Loads damaged copies of a valid streamnamespace {

// Loads damaged copies of a valid stream; truncated streams must give only original records.
// Adds the number of seeded random corruptions loaded to corruptions.
void LoadDamaged(const Bytes& valid, const CPropertiesCollection& original, unsigned seed, int rounds,
                 int& corruptions) {
    std::mt19937 rng(seed);
    auto load = [](const Bytes& data) {
        CPropertiesCollection c;
        CComPtr<IStream> s = StreamOf(data);
        c.Load(s);
    };
    for (size_t n = 0; n < valid.size(); ++n) {
        CPropertiesCollection c;
        CComPtr<IStream> s = StreamOf(Bytes(valid.begin(), valid.begin() + static_cast<long>(n)));
        EXPECT_TRUE(FAILED(c.Load(s))) << "cut at " << n;
        for (const auto& [name, p] : c.Records()) {
            CProperty* q = original.Find(name);
            ASSERT_NE(q, nullptr);
            EXPECT_EQ(ImageOf(*p), ImageOf(*q)) << "cut at " << n;
        }
    }
    ForEachCorruption(valid, rng, 3, rounds, 6, load);
    corruptions += rounds;
}

}  // namespace

TEST_F(CollectionStream, DamagedStreamsNeverCrashHangOrLeak) {
    CPropertiesCollection c;
    FillDescription(c);
    const Bytes valid = SavedBytes(c);
    CPropertiesCollection older;
    const Bytes validOlder = OlderVersionsStream();
    ASSERT_EQ(LoadBytes(older, validOlder), S_OK);
    unsigned seed = 7;
    int corruptions = 0;
    const int rounds = RoundsEach(2, 3);  // two streams; the leak check runs the work three times
    const SIZE_T growth = PrivateGrowth([&] {
        LoadDamaged(valid, c, seed++, rounds, corruptions);
        LoadDamaged(validOlder, older, seed++, rounds, corruptions);
    });
    EXPECT_LT(growth, 256u * 1024u) << "memory left behind by damaged streams";
    EXPECT_GE(corruptions, kSeededCorruptions);
}

TEST(LeakCheck, PrivateGrowthSeesALeak) {
    std::vector<BSTR> kept;
    const SIZE_T growth = PrivateGrowth([&] {
        for (int i = 0; i < 5000; ++i) kept.push_back(::SysAllocStringLen(nullptr, 100));
    });
    EXPECT_GT(growth, 256u * 1024u);
    for (BSTR b : kept) ::SysFreeString(b);
}
