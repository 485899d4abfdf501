// Checkpoints, output values, the custom-step questions and the snapshot chain.
#include <gtest/gtest.h>
#include "testobject/runtime/RunTimeTestObject.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;
using standin::Holder;

namespace {

const CLSID kStandardDialog = {0x5c3a7e91, 0x8d4b, 0x4f0a, {0xb1, 0xe6, 0x3a, 0x9d, 0x2f, 0x7c, 0x4b, 0x10}};
const CLSID kBitmapDialog = {0x5c3a7e92, 0x8d4b, 0x4f0a, {0xb1, 0xe6, 0x3a, 0x9d, 0x2f, 0x7c, 0x4b, 0x10}};

class Checkpoints : public ::testing::Test {
protected:
    void SetUp() override {
        object().found = CFakeRuntimeId::New();
        checkpoint = Holder<standin::CCheckpointStandIn>::New();
        verify = CComVariant(checkpoint.as<IDispatch>());
    }
    CRunTimeTestObject& object() { return *host_.object.get(); }
    DispTestObject* script() { return host_.object.as<DispTestObject>(); }
    ICustomStep2* steps() { return host_.object.as<ICustomStep2>(); }
    RunTimeHost host_;
    Holder<standin::CCheckpointStandIn> checkpoint;
    CComVariant verify;
};

TEST_F(Checkpoints, DialogClassesByTypeIgnoringCase) {
    CLSID clsid = {};
    {
        standin::CProgIdKey standard(L"Quorvel.StandardVerDlg", kStandardDialog);
        standin::CProgIdKey bitmap(L"Quorvel.BitmapVerUIDlg", kBitmapDialog);
        ASSERT_EQ(S_OK, object().CComTestObject::GetCheckpointDialogClsid(CComBSTR(L"output value"), &clsid));
        EXPECT_TRUE(::IsEqualCLSID(kStandardDialog, clsid));
        ASSERT_EQ(S_OK, object().CComTestObject::GetCheckpointDialogClsid(CComBSTR(L"Bitmap Checkpoint"), &clsid));
        EXPECT_TRUE(::IsEqualCLSID(kBitmapDialog, clsid));
    }
    EXPECT_EQ(S_OK, object().CComTestObject::GetCheckpointDialogClsid(CComBSTR(L"bitmap checkpoint"), &clsid));
    EXPECT_TRUE(::IsEqualCLSID(GUID_NULL, clsid));
    EXPECT_TRUE(FAILED(object().CComTestObject::GetCheckpointDialogClsid(CComBSTR(L"Checkpoint"), &clsid)));
    EXPECT_EQ(E_NOTIMPL, object().CComTestObject::GetCheckpointDialogClsid(CComBSTR(L"Text Checkpoint"), &clsid));
    EXPECT_EQ(E_POINTER, object().CComTestObject::GetCheckpointDialogClsid(CComBSTR(L"Checkpoint"), nullptr));

    BOOL yes = FALSE;
    EXPECT_EQ(S_OK, object().CComTestObject::GetSupportedCheckpointTypes(CComBSTR(L"OUTPUT VALUE"), &yes));
    EXPECT_TRUE(yes);
    EXPECT_EQ(S_OK, object().CComTestObject::GetSupportedCheckpointTypes(CComBSTR(L"Text Checkpoint"), &yes));
    EXPECT_FALSE(yes);
    EXPECT_EQ(S_OK, steps()->GetCheckpointStepTypes(CComBSTR(L"Text Checkpoint"), &yes));
    EXPECT_TRUE(yes);
    EXPECT_EQ(S_OK, steps()->GetCheckpointStepTypes(CComBSTR(L"Output Value"), &yes));
    EXPECT_FALSE(yes);
}

TEST_F(Checkpoints, TimeoutOfAStepTypeFromTheClassSection) {
    object().Put(L"korclass", CComVariant(L"Grid"), 3);
    DWORD timeout = 7;
    EXPECT_EQ(S_FALSE, steps()->GetCheckpointTimeout(CComBSTR(L"Checkpoint"), &timeout));
    EXPECT_EQ(0u, timeout);
    host_.host.options->Put(L"Test Objects\\Grid\\CheckpointTimeout", L"DefaultTimeout", 3000L);
    EXPECT_EQ(S_OK, steps()->GetCheckpointTimeout(CComBSTR(L"Text Checkpoint"), &timeout));
    EXPECT_EQ(3000u, timeout);
    host_.host.options->Put(L"Test Objects\\Grid\\CheckpointTimeout", L"Text Checkpoint", 1500L);
    EXPECT_EQ(S_OK, steps()->GetCheckpointTimeout(CComBSTR(L"Text Checkpoint"), &timeout));
    EXPECT_EQ(1500u, timeout);
    EXPECT_EQ(E_FAIL, steps()->GetCheckpointTimeout(CComBSTR(L"Output Value"), &timeout));
}

TEST_F(Checkpoints, CheckWantsAByteAnswerOnlyWhenTheResultIsAsked) {
    VARIANT_BOOL passed = VARIANT_FALSE;
    ASSERT_EQ(S_OK, script()->Check(&verify, &passed));
    EXPECT_EQ(VARIANT_TRUE, passed);
    EXPECT_EQ(L"Check(VT:9)", checkpoint->Log().Joined());
    checkpoint->SetAnswer(CComVariant(true));
    EXPECT_EQ(DISP_E_BADVARTYPE, script()->Check(&verify, &passed));
    EXPECT_EQ(S_OK, object().DispTestObject_Check(&verify, nullptr));
    checkpoint->SetAnswer(CComVariant(0L, VT_I1), E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, script()->Check(&verify, &passed));
    CComVariant number(3L);
    EXPECT_EQ(E_INVALIDARG, script()->Check(&number, &passed));
    EXPECT_EQ(E_POINTER, object().DispTestObject_Check(nullptr, &passed));
    // With verification off the checkpoint passes without running.
    host_.host.options->Put(L"", L"EnableVerify", CComVariant(false));
    checkpoint->Log().Clear();
    EXPECT_EQ(S_OK, script()->Check(&verify, &passed));
    EXPECT_TRUE(checkpoint->Log().Lines().empty());
}

TEST_F(Checkpoints, OutputFindsTheObjectFirstAndReturnsTheHostsAnswer) {
    ASSERT_EQ(S_OK, script()->Output(&verify));
    EXPECT_EQ(L"Output(VT:9)", checkpoint->Log().Joined());
    EXPECT_EQ(1u, object().finds.size());
    checkpoint->SetAnswer(CComVariant(), E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, script()->Output(&verify));
    object().findResult = static_cast<HRESULT>(0x80040202);
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), script()->Output(&verify));
    EXPECT_EQ(2, checkpoint->Log().Count(L"Output"));
}

TEST_F(Checkpoints, CustomStepAnswersAndTheUpdateFlag) {
    GUID id = {1, 0, 0, {}};
    DWORD flags = 5;
    EXPECT_EQ(S_OK, steps()->GetCustomStepClsid(CComBSTR(L"x"), &id));
    EXPECT_TRUE(::IsEqualGUID(GUID_NULL, id));
    EXPECT_EQ(S_OK, steps()->GetCustomStepFlags(CComBSTR(L"x"), &flags));
    EXPECT_EQ(0u, flags);
    EXPECT_EQ(E_NOTIMPL, steps()->EditCustomStep(CComBSTR(L"x"), nullptr, nullptr));
    IUpdateTODescription* update = host_.object.as<IUpdateTODescription>();
    EXPECT_EQ(S_OK, update->put_UpdateDescriptionFlag(-2));
    short flag = 0;
    EXPECT_EQ(S_OK, update->get_UpdateDescriptionFlag(&flag));
    EXPECT_EQ(-2, flag);
    EXPECT_EQ(E_INVALIDARG, update->get_UpdateDescriptionFlag(nullptr));
}

TEST_F(Checkpoints, SnapshotsGoUpToTheParentWithTheObjectThatAsked) {
    RunTimeObject parent = host_.NewObject();
    object().Put(L"parent", CComVariant(parent.as<IDispatch>()), 9);
    BSTR name = nullptr;
    ISnapshotHelper* helper = host_.object.as<ISnapshotHelper>();
    // The parent has no snapshot of its own: its failure comes back and clears the current one.
    EXPECT_EQ(E_NOTIMPL, helper->Snapshot(CComBSTR(L"C:\\shots"), nullptr, 1, &name, 1, 0, nullptr));
    EXPECT_EQ(nullptr, name);
    EXPECT_STREQ(L"C:\\shots", host_.host.options->Peek(L"", L"SnapshotDir").bstrVal);
    EXPECT_STREQ(L"", host_.host.options->Peek(L"", L"CurrentSavedSnapshot").bstrVal);
    CComVariant id(5L);
    EXPECT_EQ(E_NOTIMPL, helper->Snapshot(CComBSTR(L"D:\\other"), &id, 1, &name, 0, 0, nullptr));
    EXPECT_STREQ(L"C:\\shots", host_.host.options->Peek(L"", L"SnapshotDir").bstrVal);
    EXPECT_EQ(E_POINTER, helper->Snapshot(CComBSTR(L"x"), nullptr, 0, nullptr, 0, 0, nullptr));
    // A parent that is its own parent takes the request itself at the deepest level a walk allows.
    parent->Put(L"parent", CComVariant(parent.as<IDispatch>()), 9);
    EXPECT_EQ(E_NOTIMPL, helper->Snapshot(CComBSTR(L"C:\\shots"), nullptr, 1, &name, 0, 0, nullptr));
    parent->Put(L"parent", CComVariant(), 9);
}

}  // namespace
