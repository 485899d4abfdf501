#pragma once
// The ActiveX query engine: answers the host's identification questions about ActiveX controls
// (the values of named properties for a runtime identifier, and the windowless controls inside a
// container) from what the agent utility learns through the hook.
#include <windows.h>
#include <oleauto.h>
#include "environment/ComKorQuery.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/DispatchImpl.h"
#include "host/ObjectRackClientImpl.h"
#include "environment/TestState.h"
#include "host.h"
#include "kestrune.h"

class CRuntimeId;

// The engine's primary interface: no dispatch members of its own, its vtable carries the
// property handlers after the IDispatch slots, so a derived engine may replace any of them.
struct IAcxQueryFuncHandlers : public IAcxQueryFunc {
    virtual HRESULT QueryProgID(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryName(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryLpDispatch(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryRunTimeIDFromPoint(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryActiveXProperty(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryPropertiesName(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QuerySizeInPixels(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryCookieFromPoint(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryCreateTime(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryInprocUnknown(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryListener(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryAbsX(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryAbsY(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryWidth(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryHeight(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryWindowless(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryVisible(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
    virtual HRESULT QueryAcxName(IRuntimeID* id, VARIANT* param, VARIANT* result) = 0;
};

class CAcxQuery : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                  public kcom::CComCoClass<CAcxQuery, &CLSID_AcxQuery>,
                  public kcom::IDispatchImpl<IAcxQueryFuncHandlers, &IID_IAcxQueryFunc>,
                  public IKorQuery2,
                  public IKorDataTarget,
                  public CTestState<CAcxQuery>,
                  public IObjectRackClientImpl<CAcxQuery>,
                  public CComKorQuery<CAcxQuery> {
public:
    CAcxQuery();
    HRESULT FinalConstruct();

    BEGIN_COM_MAP(CAcxQuery)
        COM_INTERFACE_ENTRY(IKorQuery2)
        COM_INTERFACE_ENTRY2(IKorQuery, IKorQuery2)
        COM_INTERFACE_ENTRY(IKorDataTarget)
        COM_INTERFACE_ENTRY2(IDispatch, IAcxQueryFuncHandlers)
        COM_INTERFACE_ENTRY2(IAcxQueryFunc, IAcxQueryFuncHandlers)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    // IKorQuery
    STDMETHOD(QueryIdFromContainer)(SAFEARRAY* psaProp, IDispatch* pContainer, SAFEARRAY** ppsaRO,
                                    QueryIdInfo* pInfo, SAFEARRAY* psaFormats) override;
    STDMETHOD(QueryIdFromSet)(SAFEARRAY* psaProp, SAFEARRAY** psaRO) override;
    STDMETHOD(QueryValue)(IRuntimeID* pRO, SAFEARRAY* psaProp) override;
    // IKorQuery2
    STDMETHOD(QueryWlsIdsFromContainer)(IDispatch* pContainer, long reserved, SAFEARRAY** ppsaRO) override;
    // IKorDataTarget
    STDMETHOD(ReceiveData)(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) override;
    // IObjectRackClient: a rack brings the custom queries of the application settings.
    STDMETHOD(SetRack)(IObjectRack* rack) override;

    // Property handlers.
    HRESULT QueryProgID(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryName(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryLpDispatch(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryRunTimeIDFromPoint(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryActiveXProperty(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryPropertiesName(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QuerySizeInPixels(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryCookieFromPoint(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryCreateTime(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryInprocUnknown(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryListener(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryAbsX(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryAbsY(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryWidth(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryHeight(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryWindowless(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryVisible(IRuntimeID* id, VARIANT* param, VARIANT* result) override;
    HRESULT QueryAcxName(IRuntimeID* id, VARIANT* param, VARIANT* result) override;

    // The windowless control's origin on the screen and size, as "size in pixels" reports them.
    enum SizeCell { SizeLeft = 0, SizeTop = 1, SizeWidth = 2, SizeHeight = 3 };

    // "size in pixels" travels as vt VT_ARRAY|VT_BYREF|VT_VARIANT whose data word is the
    // SAFEARRAY itself (not a pointer to one): a one-row table of four VT_I4 VARIANT cells
    // while the array records VT_I4. Generic VARIANT code must never dereference it; these two
    // are the safe readers. Both take the array over, destroy it and leave the value VT_EMPTY.
    // Reading fails with E_UNEXPECTED for any other value or shape (the value is left alone).
    static HRESULT TakeSizeInPixels(VARIANT* value, LONG cells[4]) noexcept;
    // Destroys the array of such a value; S_FALSE for any other value, which is left alone.
    static HRESULT ReleaseSizeInPixels(VARIANT* value) noexcept;

private:
    enum class IdKind { Other, Window, Windowless };

    // One of the agent's numeric requests about (window, cookie).
    using NumberRequest = HRESULT (*)(IAcxAgntUtil2* agent, HWND window, LONG cookie, LONG* value);

    IdKind KindOf(const CRuntimeId& id) const noexcept;
    // "hwnd", and for a windowless id "punknown"; a value that cannot be read is a failure.
    HRESULT ReadHandles(const CRuntimeId& id, IdKind kind, long* window, long* cookie) const;
    HRESULT AnswerNumber(IRuntimeID* id, VARIANT* result, NumberRequest request);
    HRESULT AnswerGeometry(IRuntimeID* id, VARIANT* result, LONG (*pick)(const RECT&, const POINT&));
    // The windowless control's rectangle and the screen origin of its container's client area.
    HRESULT WlsGeometry(IRuntimeID* id, RECT* rect, POINT* origin);
    // Runs answer(rect, origin) once the windowless geometry is known.
    template <class Answer>
    HRESULT WithGeometry(IRuntimeID* id, VARIANT* result, Answer&& answer);
    template <class Body>
    HRESULT ForControl(IRuntimeID* id, VARIANT* result, Body&& body);
    HRESULT AnswerProgID(const CRuntimeId& id, IdKind kind, VARIANT* result);
    void LoadCustomQueries();
    // The window of the container test object, following SSTab pages to their tab's parent.
    HRESULT FindContainerWindow(IDispatch* container, QueryIdInfo* info, HWND* window);

    kcom::CComPtr<IAcxAgntUtil2> m_agent;
};
