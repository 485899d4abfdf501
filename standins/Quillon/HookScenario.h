#pragma once
// The scenario of the application under test: its windows and what its hook answers about them.
//
// One statement per line; '#' starts a comment; values with blanks go in double quotes
// (\" \\ \t \n escapes). A target is a window name, or name:cookie for a windowless control.
//   window NAME CLASS [parent=NAME] [text=T] [rect=x,y,w,h] [hidden=1]
//                                   class KorTestContainer: a container of windowless controls
//   control NAME PROGID parent=NAME [rect=x,y,w,h] [caption=T] [text=T] [usertype=T] [hidden=1]
//                                   a windowed test control (window class KorTestControl)
//   windowless CONTAINER COOKIE PROGID [rect=x,y,w,h] [caption=T] [text=T] [usertype=T] [hidden=1]
//                                   a windowless test control, painted by its container window
//   The hook answers about test controls from the live objects, and only reply lines change that
//   (GET_LISTENER, INVOKE_USER_MSG and SET_AGENT_DATA stay the scenario's).
//   fact TARGET KEY=VALUE...        activex progid usertype names createtime inproc handlecookie
//                                   visible rect cookies containers containercount dispatch
//                                   listener agentdata
//   prop TARGET NAME=VALUE...       the control's properties, in order
//   method TARGET NAME=VALUE...     what invoking a method (or a user message) returns
//   point WINDOW X Y CONTROL COOKIE [after=K]   cookie from point; K unanswered tries first
//   reply TARGET REQUEST [result=N] [cookie=N] [window=NAME] [a=VALUE] [b=VALUE]
//                        [blob=HEX|none] [answer=0] [hang=MS]   replaces parts of an answer
// Values: empty, null, nullbstr, i2:N, i4:N, ui4:N, bool:0|1, r8:D, bstr:TEXT, i4[]:1,2,
// i4[RxC]:..., bstr[]:a|b, var[]:V|V, var[RxC]:V|V (cells row by row); any other text is a BSTR.
#include <windows.h>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "com/ComVariant.h"

inline constexpr wchar_t kTestControlClass[] = L"KorTestControl";
inline constexpr wchar_t kTestContainerClass[] = L"KorTestContainer";

// What a test control starts with.
struct CScenarioControl {
    std::wstring progId;
    std::wstring userType;
    std::wstring caption;
    std::wstring text;
};

struct CScenarioWindow {
    std::wstring name;
    std::wstring className;
    std::wstring parent;
    std::wstring text;
    RECT rect{};
    bool hasRect = false;
    bool hidden = false;
    std::optional<CScenarioControl> control;  // a windowed test control
};

struct CScenarioWindowless {
    std::wstring container;
    LONG cookie = 0;
    CScenarioControl control;
    RECT rect{};
    bool hasRect = false;
    bool hidden = false;
};

struct CReplyOverride {
    bool answer = true;
    DWORD hangMs = 0;
    std::optional<LONG> result;
    std::optional<LONG> cookie;
    std::optional<std::wstring> window;
    std::optional<kcom::CComVariant> a;
    std::optional<kcom::CComVariant> b;
    bool setBlob = false;
    bool nullBlob = false;
    std::vector<BYTE> blob;
};

struct CScenarioTarget {
    std::map<std::wstring, kcom::CComVariant> facts;
    std::vector<std::pair<std::wstring, kcom::CComVariant>> props;
    std::map<std::wstring, kcom::CComVariant> methods;
    std::map<std::wstring, CReplyOverride> replies;

    const VARIANT* Fact(const wchar_t* key) const;
    LONG FactLong(const wchar_t* key, LONG fallback) const;
    kcom::CComVariant* Prop(const std::wstring& name);
};

struct CScenarioPoint {
    std::wstring window;
    short x = 0;
    short y = 0;
    std::wstring control;
    LONG cookie = 0;
    int after = 0;
    int tries = 0;
};

using CTargetKey = std::pair<std::wstring, LONG>;

class CHookScenario {
public:
    std::vector<CScenarioWindow> windows;
    std::vector<CScenarioWindowless> windowless;
    std::map<CTargetKey, CScenarioTarget> targets;
    std::vector<CScenarioPoint> points;

    // Fails with the line number of the first statement it cannot read.
    HRESULT Parse(const std::wstring& text, int* badLine = nullptr);
    HRESULT Load(const wchar_t* path, int* badLine = nullptr);

    static bool ParseValue(const std::wstring& text, kcom::CComVariant& value);
    static std::wstring FormatValue(const VARIANT& value);
    static std::vector<std::wstring> Tokenize(const std::wstring& line);
};
