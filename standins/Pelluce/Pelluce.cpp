// The Pelluce stand-in: carries a parameter record to the hook of another process through a
// named shared section and a synchronous carrier message, and brings the reply back.
#include "PelluceStub.h"
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include "com/ComError.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/CritSec.h"
#include "com/Handles.h"
#include "HookResponder.h"
#include "QuillonStub.h"
#include "WireRecord.h"

namespace {

constexpr ULONG kReplyReserve = 1u << 20;  // room every section keeps for the reply
constexpr wchar_t kRequestPrefix[] = L"Quillon_msg_";

struct CStubState {
    kcom::CComCriticalSection lock;
    std::map<std::wstring, LONG> counts;
    LONG total = 0;
    ULONG failCount = 0;
    LONG failResult = E_FAIL;
    PelluceStubResponder responder = nullptr;
    void* responderContext = nullptr;
    std::shared_ptr<CHookResponder> scenario;
};

CStubState& State() {
    static CStubState state;
    return state;
}

// Registered numbers keep their names for the session: each is looked up once.
std::wstring RequestName(ULONG request) {
    static kcom::CComCriticalSection lock;
    static std::map<ULONG, std::wstring> known;
    {
        kcom::CComCritSecLock hold(lock);
        auto it = known.find(request);
        if (it != known.end()) return it->second;
    }
    std::wstring name = CWireRecord::MessageName(request);
    const size_t prefix = wcslen(kRequestPrefix);
    if (name.compare(0, prefix, kRequestPrefix) == 0) name.erase(0, prefix);
    if (name[0] != L'#') {
        kcom::CComCritSecLock hold(lock);
        known[request] = name;
    }
    return name;
}

// Starts somewhere unpredictable: a later process with the same id must not meet a hook that
// still holds a view of this one's section under the same name.
ULONG NextGeneration() {
    static volatile LONG next = [] {
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        return static_cast<LONG>((now.LowPart ^ (::GetTickCount() << 12)) & 0x3FFFFFFF);
    }();
    return static_cast<ULONG>(::InterlockedIncrement(&next)) & 0x7FFFFFFF;
}

// The sender's shared section: one at a time, reused while it is large enough and no reply to
// an abandoned request can still land in it.
class CSection {
public:
    kcom::CComCriticalSection& Lock() { return lock_; }

    // The header of a section that holds at least size record bytes, or null.
    CWireHeader* Reserve(size_t size, HRESULT* hr) {
        const size_t wanted = size + kReplyReserve;
        if (wanted > 0x40000000u) { *hr = E_OUTOFMEMORY; return nullptr; }
        if (!view_ || tainted_ || capacity_ < wanted || capacity_ < minCapacity_) {
            const ULONG capacity = static_cast<ULONG>(std::max<size_t>(wanted, minCapacity_));
            const ULONG generation = NextGeneration();
            const std::wstring name = CWireHeader::SectionName(::GetCurrentProcessId(), generation);
            kcom::CHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                       capacity + sizeof(CWireHeader), name.c_str()));
            if (!mapping) { *hr = HRESULT_FROM_WIN32(::GetLastError()); return nullptr; }
            kcom::CMappedView view(::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
            if (!view) { *hr = HRESULT_FROM_WIN32(::GetLastError()); return nullptr; }
            view_ = std::move(view);
            mapping_ = std::move(mapping);
            capacity_ = capacity;
            generation_ = generation;
            tainted_ = false;
            auto* header = static_cast<CWireHeader*>(view_.get());
            header->magic = CWireHeader::Magic;
            header->pid = ::GetCurrentProcessId();
            header->generation = generation_;
        }
        auto* header = static_cast<CWireHeader*>(view_.get());
        header->capacity = capacity_;
        return header;
    }

    ULONG Generation() const { return generation_; }
    ULONG NextSequence() { return ++sequence_; }
    // A request that was given up may still be answered later: the next one gets a new section.
    void Taint() { tainted_ = true; }
    void AtLeast(ULONG capacity) { minCapacity_ = std::max(minCapacity_, capacity); }

private:
    kcom::CComCriticalSection lock_;
    kcom::CHandle mapping_;
    kcom::CMappedView view_;
    ULONG capacity_ = 0;
    ULONG minCapacity_ = 0;
    ULONG generation_ = 0;
    ULONG sequence_ = 0;
    bool tainted_ = false;
};

CSection& Section() {
    static CSection section;
    return section;
}

HRESULT RecordFromParams(ULONG request, const CAcxParamHelper& params, CWireRecord& record) {
    record.request = request;
    record.window = static_cast<ULONG>(reinterpret_cast<UINT_PTR>(params.hWnd));
    record.cookie = params.lCookie;
    record.result = params.lResult;
    record.hasBlob = params.pBlob != nullptr;
    record.blobLength = params.cbBlob;
    if (params.pBlob) record.blob.assign(params.pBlob, params.pBlob + params.cbBlob);
    HRESULT hr = record.a.Copy(params.varA);
    if (SUCCEEDED(hr)) hr = record.b.Copy(params.varB);
    if (FAILED(hr)) return hr;
    record.hasStream = params.pStream != nullptr;
    return params.pStream ? CWireRecord::StreamBytes(params.pStream, record.stream) : S_OK;
}

// A copy of size bytes in the allocator a record's blob comes from.
HRESULT CopyBlob(const void* data, ULONG size, kcom::CCoTaskMem<BYTE>& out) noexcept {
    out.Reset(static_cast<BYTE*>(::CoTaskMemAlloc(size)));
    if (!out) return E_OUTOFMEMORY;
    memcpy(out.get(), data, size);
    return S_OK;
}

// Puts the reply into the record; everything that can fail happens before the record changes.
HRESULT ReplyToParams(CWireRecord& reply, CAcxParamHelper& params) {
    kcom::CComPtr<IStream> stream;
    if (reply.hasStream) {
        HRESULT hr = CWireRecord::StreamFromBytes(reply.stream, stream.Put());
        if (FAILED(hr)) return hr;
    }
    kcom::CCoTaskMem<BYTE> blob;
    if (reply.hasBlob && !reply.blob.empty()) {
        HRESULT hr = CopyBlob(reply.blob.data(), static_cast<ULONG>(reply.blob.size()), blob);
        if (FAILED(hr)) return hr;
    }
    params.hWnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(reply.window));
    params.lCookie = reply.cookie;
    params.lResult = reply.result;
    kcom::CCoTaskMem<BYTE> old(std::exchange(params.pBlob, blob.Detach()));
    params.cbBlob = reply.hasBlob ? static_cast<ULONG>(reply.blob.size()) : reply.blobLength;
    reply.a.Detach(&params.varA);
    reply.b.Detach(&params.varB);
    if (params.pStream) params.pStream->Release();
    params.pStream = stream.Detach();
    return S_OK;
}

long SendAcross(ULONG carrier, HWND target, ULONG request, CAcxParamHelper& params, ULONG timeoutMs) {
    CWireRecord record;
    HRESULT hr = RecordFromParams(request, params, record);
    if (FAILED(hr)) return hr;
    std::vector<BYTE> bytes;
    hr = record.Write(bytes);
    if (FAILED(hr)) return hr;

    // A send made while this thread waits for another one (a message sent to it meanwhile) must
    // not overwrite the section the first one waits on: it gets a section of its own.
    static thread_local int depth = 0;
    struct CDepth {
        CDepth() { ++depth; }
        ~CDepth() { --depth; }
    } nested;
    CSection own;
    CSection& section = depth > 1 ? own : Section();
    kcom::CComCritSecLock lock(section.Lock());
    CWireHeader* header = section.Reserve(bytes.size(), &hr);
    if (!header) return hr;
    header->sequence = section.NextSequence();
    header->size = static_cast<ULONG>(bytes.size());
    header->needed = 0;
    memcpy(header + 1, bytes.data(), bytes.size());
    ::InterlockedExchange(&header->state, CWireHeader::Pending);

    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(target, carrier, ::GetCurrentProcessId(), section.Generation(),
                               SMTO_ABORTIFHUNG, timeoutMs, &ignored)) {
        const DWORD error = ::GetLastError();
        section.Taint();
        return error && error != ERROR_TIMEOUT ? HRESULT_FROM_WIN32(error) : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    const LONG state = ::InterlockedExchange(&header->state, CWireHeader::Idle);
    switch (state) {
    case CWireHeader::Answered: break;
    case CWireHeader::TooLarge:
        section.AtLeast(header->needed);
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    case CWireHeader::Unreadable: return E_INVALIDARG;
    default: return E_FAIL;  // nobody there answered: a window without the hook
    }
    if (header->size > header->capacity) return E_INVALIDARG;
    CWireRecord reply;
    hr = reply.Read(reinterpret_cast<const BYTE*>(header + 1), header->size);
    if (FAILED(hr)) return hr;
    hr = ReplyToParams(reply, params);
    return FAILED(hr) ? hr : S_OK;
}

// The hook's answer without the other process; the reply still goes through its byte form, so
// what the record receives is exactly what a real round trip would give it.
long AnswerHere(CHookResponder& responder, HWND target, ULONG request, CAcxParamHelper& params, ULONG timeoutMs) {
    CWireRecord record;
    HRESULT hr = RecordFromParams(request, params, record);
    if (FAILED(hr)) return hr;
    DWORD hangMs = 0;
    if (!responder.Answer(target, record, hangMs)) return E_FAIL;
    if (hangMs >= timeoutMs) {
        ::Sleep(timeoutMs);
        return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    if (hangMs) ::Sleep(hangMs);
    std::vector<BYTE> bytes;
    hr = record.Write(bytes);
    CWireRecord reply;
    if (SUCCEEDED(hr)) hr = reply.Read(bytes.data(), bytes.size());
    if (SUCCEEDED(hr)) hr = ReplyToParams(reply, params);
    return FAILED(hr) ? hr : S_OK;
}

class COutputChannel : public kcom::CComObjectRootEx<kcom::CComMultiThreadModel>, public IOutputChannel {
public:
    BEGIN_COM_MAP(COutputChannel)
        COM_INTERFACE_ENTRY(IOutputChannel)
    END_COM_MAP()

    STDMETHOD(GetSendTimeout)(ULONG* milliseconds) noexcept override {
        if (!milliseconds) return E_POINTER;
        *milliseconds = timeoutMs;
        return S_OK;
    }
    ULONG timeoutMs = 0;
};

}  // namespace

CAcxParamHelper::CAcxParamHelper()
    : hWnd(nullptr), lCookie(0), lResult(0), lReserved1(0), pBlob(nullptr), cbBlob(0), pStream(nullptr),
      lReserved2(0) {
    ::VariantInit(&varA);
    ::VariantInit(&varB);
}

CAcxParamHelper::~CAcxParamHelper() {
    ::VariantClear(&varA);
    ::VariantClear(&varB);
    if (pStream) pStream->Release();
    kcom::CCoTaskMem<BYTE> blob(pBlob);  // the record owns its blob
}

long CPelluce::SendMessageByOCh(ULONG carrier, HWND target, ULONG request, CAcxParamHelper& params,
                                IOutputChannel* channel) {
    return kcom::Guard([&]() -> HRESULT {
        CStubState& state = State();
        const std::wstring name = RequestName(request);
        PelluceStubResponder responder = nullptr;
        void* context = nullptr;
        std::shared_ptr<CHookResponder> scenario;
        {
            kcom::CComCritSecLock lock(state.lock);
            ++state.counts[name];
            ++state.total;
            if (!channel) return E_POINTER;
            if (state.failCount) {
                --state.failCount;
                return state.failResult;
            }
            responder = state.responder;
            context = state.responderContext;
            scenario = state.scenario;
        }
        if (responder) return responder(context, carrier, target, request, name.c_str(), &params);
        ULONG timeoutMs = 0;
        HRESULT hr = channel->GetSendTimeout(&timeoutMs);
        if (FAILED(hr)) return hr;
        if (scenario) return AnswerHere(*scenario, target, request, params, timeoutMs);
        return SendAcross(carrier, target, request, params, timeoutMs);
    });
}

extern "C" {

LONG PelluceStub_GetCount(const wchar_t* requestName) {
    if (!requestName) return 0;
    CStubState& state = State();
    kcom::CComCritSecLock lock(state.lock);
    auto it = state.counts.find(requestName);
    return it == state.counts.end() ? 0 : it->second;
}

LONG PelluceStub_GetTotalCount() {
    CStubState& state = State();
    kcom::CComCritSecLock lock(state.lock);
    return state.total;
}

void PelluceStub_Reset() {
    CStubState& state = State();
    kcom::CComCritSecLock lock(state.lock);
    state.counts.clear();
    state.total = 0;
    state.failCount = 0;
    state.failResult = E_FAIL;
    state.responder = nullptr;
    state.responderContext = nullptr;
    state.scenario.reset();
}

void PelluceStub_FailNext(ULONG count, LONG hr) {
    CStubState& state = State();
    kcom::CComCritSecLock lock(state.lock);
    state.failCount = count;
    state.failResult = hr < 0 ? hr : E_FAIL;
}

void PelluceStub_SetResponder(PelluceStubResponder responder, void* context) {
    CStubState& state = State();
    kcom::CComCritSecLock lock(state.lock);
    state.responder = responder;
    state.responderContext = context;
}

HRESULT PelluceStub_SetScenario(const wchar_t* scenario, const QuillonStubWindow* windows, ULONG count) {
    return kcom::Guard([&]() -> HRESULT {
        std::shared_ptr<CHookResponder> responder;
        if (scenario) {
            if (!windows && count) return E_POINTER;
            CHookScenario parsed;
            int badLine = 0;
            HRESULT hr = parsed.Parse(scenario, &badLine);
            if (FAILED(hr)) return hr;
            std::map<std::wstring, HWND> names;
            for (ULONG i = 0; i < count; ++i)
                if (windows[i].name) names[windows[i].name] = windows[i].window;
            responder = std::make_shared<CHookResponder>(std::move(parsed), std::move(names));
        }
        CStubState& state = State();
        kcom::CComCritSecLock lock(state.lock);
        state.scenario = std::move(responder);
        return S_OK;
    });
}

HRESULT PelluceStub_CreateChannel(ULONG timeoutMs, IOutputChannel** channel) {
    if (!channel) return E_POINTER;
    *channel = nullptr;
    kcom::CComObject<COutputChannel>* object = nullptr;
    HRESULT hr = kcom::CComObject<COutputChannel>::CreateInstance(&object);
    if (FAILED(hr)) return hr;
    object->timeoutMs = timeoutMs;
    return object->QueryInterface(__uuidof(IOutputChannel), reinterpret_cast<void**>(channel));
}

HRESULT PelluceStub_SetBlob(CAcxParamHelper* params, const void* data, ULONG size) {
    if (!params) return E_POINTER;
    kcom::CCoTaskMem<BYTE> blob;
    if (data && size) {
        HRESULT hr = CopyBlob(data, size, blob);
        if (FAILED(hr)) return hr;
    }
    kcom::CCoTaskMem<BYTE> old(std::exchange(params->pBlob, blob.Detach()));
    params->cbBlob = size;
    return S_OK;
}

}  // extern "C"
