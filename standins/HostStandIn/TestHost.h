#pragma once
// A whole host for a test object: the rack holding every service a test object asks for, and the
// host's classes registered for creation. A service that a test wants missing is dropped from
// the rack; services of later parts of the test object join as further members.
#include "HostStandIn.h"
#include "IdentificationStandIns.h"
#include "QueryEngineStandIns.h"
#include "InnerObjectStandIn.h"
#include "RecordingStandIns.h"
#include "TestReportStandIn.h"

namespace standin {

class CTestHost {
public:
    CTestHost();
    CTestHost(const CTestHost&) = delete;
    CTestHost& operator=(const CTestHost&) = delete;

    IObjectRack* Rack() const noexcept { return rack.as<IObjectRack>(); }
    IKorDataTarget* RecordTarget() const noexcept { return recordMgr.as<IKorDataTarget>(); }

    Holder<CRackStandIn> rack = Holder<CRackStandIn>::New();
    Holder<CSettingsStandIn> options = Holder<CSettingsStandIn>::New();  // "TestOptions"
    Holder<CRecordMgrStandIn> recordMgr = Holder<CRecordMgrStandIn>::New();
    Holder<CObjectManagerStandIn> objectManager = Holder<CObjectManagerStandIn>::New();
    Holder<CScriptManagerStandIn> scriptManager = Holder<CScriptManagerStandIn>::New();
    Holder<CActiveFlowStandIn> activeFlow = Holder<CActiveFlowStandIn>::New();
    Holder<CExceptionMgrStandIn> exceptionMgr = Holder<CExceptionMgrStandIn>::New();
    Holder<CGenericHandlerStandIn> genericHandler = Holder<CGenericHandlerStandIn>::New();
    Holder<CPkgSrvMgrStandIn> pkgSrvMgr = Holder<CPkgSrvMgrStandIn>::New();
    Holder<CRecordingStateStandIn> recordingState = Holder<CRecordingStateStandIn>::New();
    Holder<CScriptedQueryEngineStandIn> queryEngine = Holder<CScriptedQueryEngineStandIn>::New();
    Holder<CRelationsMgrStandIn> relations = Holder<CRelationsMgrStandIn>::New();
    Holder<CParamTypeMgrStandIn> paramTypes = Holder<CParamTypeMgrStandIn>::New();
    Holder<CTestReportStandIn> report = Holder<CTestReportStandIn>::New();
    Holder<CPatternMgrStandIn> patternMgr = Holder<CPatternMgrStandIn>::New();
    // The inner test object a concrete test object may hold; not in the rack.
    Holder<CInnerObjectStandIn> inner = Holder<CInnerObjectStandIn>::New();
    // Registered, so that no test ever opens a real message box.
    Holder<CHostApplicationStandIn> application = Holder<CHostApplicationStandIn>::New();

private:
    CHostApplicationRegistration applicationClass_{application.as<IKorHostApplication>()};
    CObjectRegistration recordingStateClass_{CLSID_KorRecordingState, recordingState.as<IKorRecordingState>()};
};

inline CTestHost::CTestHost() {
    rack->Put(L"TestOptions", options.as<IKorSettings>());
    rack->Put(L"RecordMgr", recordMgr.as<IKorDataTarget>());
    rack->Put(L"ObjectManager", objectManager.as<IKorObjectManager>());
    rack->Put(L"ScriptManager", scriptManager.as<IKorScriptManager>());
    rack->Put(L"ActiveFlow", activeFlow.as<IKorActiveFlow>());
    rack->Put(L"ExeptionMgr", exceptionMgr.as<IKorExceptionMgr>());
    rack->Put(L"GenericHandler", genericHandler.as<IKorGenericHandler>());
    rack->Put(L"KorPkgSrvMgr", pkgSrvMgr.as<IPackageServices5>());
    rack->Put(L"StdPackageQueryEngine", queryEngine.as<IKorQuery>());
    rack->Put(L"TORelationsMgr", relations.as<IKorRelationsMgr>());
    rack->Put(L"KorParamTypeMgr", paramTypes.as<IKorParamTypeMgr>());
    rack->Put(L"TestReport", report.as<IKorTestReport>());
    rack->Put(L"PropertyPatternMgr", patternMgr.as<IKorPropertyPatternMgr>());
}

}  // namespace standin
