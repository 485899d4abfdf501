// What the ActiveX test object hands its inner standard window object: typing, mouse moves, the
// text methods and recording go there with their arguments, and the input reaches the real
// control in the application under test.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include "AcxObjectFixture.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

class InnerDelegation : public AcxObjectFixture {
protected:
    // The inner object's calls, without the property reads its outer object passes on to it.
    static Lines Calls() {
        Lines lines = standin::CWinObjectStandIn::Last()->Log().Lines();
        std::erase_if(lines, [](const std::wstring& l) { return l.rfind(L"get_Prop(", 0) == 0 || l.rfind(L"Set", 0) == 0; });
        return lines;
    }
    static void Forget() { standin::CWinObjectStandIn::Last()->Log().Clear(); }
};

TEST_F(InnerDelegation, InputGoesThroughTheInnerObjectToTheControl) {
    AcxObject object = Windowed();
    CComPtr<IDispatch> control = Control(ctl_);
    Forget();
    IStdObjectReplay* replay = object.as<IStdObjectReplay>();
    IStdReplay* input = object.as<IStdReplay>();
    EXPECT_EQ(S_OK, replay->do_Type(CComBSTR(L"a")));
    EXPECT_EQ(S_OK, replay->do_MouseMove(3, 4));
    EXPECT_EQ(S_OK, input->DoType(CComBSTR(L"b")));
    EXPECT_EQ(S_OK, input->DoMouseMove(5, 6));
    EXPECT_EQ((Lines{L"WM_KEYDOWN 0x41", L"WM_CHAR 0x61", L"WM_KEYUP 0x41", L"WM_MOUSEMOVE 3,4", L"WM_KEYDOWN 0x42",
                     L"WM_CHAR 0x62", L"WM_KEYUP 0x42", L"WM_MOUSEMOVE 5,6"}),
              InputLog(control));

    long window = 0;
    EXPECT_EQ(S_OK, replay->do_hWnd(&window));
    EXPECT_EQ(S_OK, input->PrepareObject(1, 0, 1, 0));
    EXPECT_EQ(S_OK, input->EnableReport(0));
    IStdCaptureTextReplay* text = object.as<IStdCaptureTextReplay>();
    long left = 1, top = 2, right = 3, bottom = 4;
    VARIANT_BOOL found = VARIANT_TRUE;
    EXPECT_EQ(S_OK, text->do_GetTextLocation(CComBSTR(L"Hello"), &left, &top, &right, &bottom, &found));
    EXPECT_EQ(VARIANT_FALSE, found);
    EXPECT_EQ(S_OK, text->do_ClickOnText(CComBSTR(L"Hello"), BUTTON_RIGHT));
    EXPECT_EQ((Lines{L"do_Type(a)", L"do_MouseMove(3,4)", L"DoType(b)", L"DoMouseMove(5,6)", L"do_hWnd()",
                     L"PrepareObject(1,0,1,0)", L"EnableReport(0)", L"do_GetTextLocation(Hello)",
                     L"do_ClickOnText(Hello,1)"}),
              Calls());

    // The inner object's answer comes back as it is.
    standin::CWinObjectStandIn::Last()->SetResult(0x00040123);
    EXPECT_EQ(0x00040123, replay->do_Type(CComBSTR(L"c")));
}

TEST_F(InnerDelegation, ADualActionIsInvokedThroughItsVtable) {
    AcxObject object = Windowed();
    Forget();
    // Through the dispatch half, oleaut32 would call this Invoke again and again.
    CComVariant text(L"q");
    DISPPARAMS params{&text, nullptr, 1, 0};
    IDispatch* dispatch = object.as<IStdObjectReplay>();
    EXPECT_EQ(S_OK, dispatch->Invoke(0x53, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(Lines{L"do_Type(q)"}, Calls());
    DISPID id = 0;
    LPOLESTR name[1] = {const_cast<LPOLESTR>(L"do_MouseMove")};
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, name, 1, 0, &id));
    EXPECT_EQ(0x55, id);
}

TEST_F(InnerDelegation, RecordingIsTheInnerObjects) {
    AcxObject object = Windowed();
    Forget();
    IStdKbdRecord* keys = object.as<IStdKbdRecord>();
    EXPECT_EQ(S_OK, keys->BeginKeyboardRecord());
    EXPECT_EQ(S_OK, keys->RecordKey(WM_KEYDOWN, 0x41, 0x1E0001));
    EXPECT_EQ(S_OK, keys->FlushKeyboardRecord());
    EXPECT_EQ(S_OK, keys->ResetKeyboardRecord());
    EXPECT_EQ(S_OK, keys->EndKeyboardRecord());
    EXPECT_EQ(S_OK, object.as<IDragDropRecord>()->RecordDrag(10, 11, 0));
    EXPECT_EQ(S_OK, object.as<IDragDropRecord>()->RecordDrop(20, 21, 1));
    EXPECT_EQ((Lines{L"BeginKeyboardRecord()", L"RecordKey(256,65,1966081)", L"FlushKeyboardRecord()",
                     L"ResetKeyboardRecord()", L"EndKeyboardRecord()", L"RecordDrag(10,11,0)", L"RecordDrop(20,21,1)"}),
              Calls());

    // Without an inner object the calls are refused, never followed into nothing.
    object->DropInner();
    EXPECT_EQ(E_NOINTERFACE, keys->BeginKeyboardRecord());
    EXPECT_EQ(E_NOINTERFACE, object.as<IStdObjectReplay>()->do_Type(CComBSTR(L"x")));
    CComBSTR name;
    EXPECT_EQ(S_FALSE, object.as<ISnapshotHelper>()->Snapshot(CComBSTR(L"c:\\"), nullptr, 0, name.Put(), 0, 0, nullptr));
}

TEST_F(InnerDelegation, SnapshotsRunWithTheAgentsCacheOn) {
    AcxObject object = Windowed();
    ASSERT_EQ(S_OK, bed_.agent->EnableCache(0));
    Forget();
    CComBSTR name;
    EXPECT_EQ(S_OK, object.as<ISnapshotHelper>()->Snapshot(CComBSTR(L"c:\\shots"), nullptr, 3, name.Put(), 1, 0, nullptr));
    EXPECT_STREQ(L"winobject.png", name.c_str());
    EXPECT_EQ(Lines{L"Snapshot(c:\\shots,3,cache=1)"}, Calls());
    long enabled = -1;
    EXPECT_EQ(S_OK, bed_.agent->IsCacheEnabled(&enabled));
    EXPECT_EQ(0, enabled);
}

TEST_F(InnerDelegation, CheckpointsOfAWindowedControlAreTheInnerObjects) {
    AcxObject windowed = Windowed();
    Forget();
    CLSID dialog = IID_IUnknown;
    BOOL supported = TRUE;
    EXPECT_EQ(S_OK, windowed.as<ICustomStep>()->GetCheckpointDialogClsid(CComBSTR(L"Standard"), &dialog));
    EXPECT_TRUE(::IsEqualGUID(CLSID_NULL, dialog));
    EXPECT_EQ(S_OK, windowed.as<ICustomStep2>()->GetSupportedCheckpointTypes(CComBSTR(L"Bitmap"), &supported));
    EXPECT_FALSE(supported);
    EXPECT_EQ((Lines{L"GetCheckpointDialogClsid(Standard)", L"GetSupportedCheckpointTypes(Bitmap)"}), Calls());

    // A windowless control's are the test object's own.
    AcxObject windowless = Windowless(7);
    Forget();
    windowless.as<ICustomStep>()->GetCheckpointDialogClsid(CComBSTR(L"Standard"), &dialog);
    windowless.as<ICustomStep>()->GetSupportedCheckpointTypes(CComBSTR(L"Bitmap"), &supported);
    EXPECT_TRUE(Calls().empty());
}

}  // namespace
