#include "errors/StandardHResults.h"
#include <algorithm>

namespace {

// The classic failure codes of COM, OLE and OLE Automation, the first cryptography codes, the
// trust and certificate codes, and the run-time error codes of controls: 358 codes.
constexpr HResultRun kRuns[] = {
    // FACILITY_NULL
    {0x8000000A, 0x8000000A},  // E_PENDING
    {0x80004001, 0x80004005},  // E_NOTIMPL .. E_FAIL
    {0x80004006, 0x80004021},  // CO_E_INIT_TLS .. CO_E_NOT_SUPPORTED
    {0x8000FFFF, 0x8000FFFF},  // E_UNEXPECTED
    // FACILITY_RPC
    {0x80010001, 0x80010012},  // RPC_E_CALL_REJECTED .. RPC_E_SERVER_DIED_DNE
    {0x80010100, 0x8001011D},  // RPC_E_SYS_CALL_FAILED .. RPC_E_INVALID_OBJREF
    {0x8001FFFF, 0x8001FFFF},  // RPC_E_UNEXPECTED
    // FACILITY_DISPATCH
    {0x80020001, 0x80020001},  // DISP_E_UNKNOWNINTERFACE
    {0x80020003, 0x80020012},  // DISP_E_MEMBERNOTFOUND .. DISP_E_DIVBYZERO
    {0x80028016, 0x80028019},  // TYPE_E_BUFFERTOOSMALL .. TYPE_E_UNSUPFORMAT
    {0x8002801C, 0x8002801D},  // TYPE_E_REGISTRYACCESS, TYPE_E_LIBNOTREGISTERED
    {0x80028027, 0x8002802F},  // TYPE_E_UNDEFINEDTYPE .. TYPE_E_DLLFUNCTIONNOTFOUND
    {0x800288BD, 0x800288BD},  // TYPE_E_BADMODULEKIND
    {0x800288C5, 0x800288C6},  // TYPE_E_SIZETOOBIG, TYPE_E_DUPLICATEID
    {0x800288CF, 0x800288CF},  // TYPE_E_INVALIDID
    {0x80028CA0, 0x80028CA3},  // TYPE_E_TYPEMISMATCH .. TYPE_E_CANTCREATETMPFILE
    {0x80029C4A, 0x80029C4A},  // TYPE_E_CANTLOADLIBRARY
    {0x80029C83, 0x80029C84},  // TYPE_E_INCONSISTENTPROPFUNCS, TYPE_E_CIRCULARTYPE
    // FACILITY_STORAGE
    {0x80030001, 0x80030006},  // STG_E_INVALIDFUNCTION .. STG_E_INVALIDHANDLE
    {0x80030008, 0x80030009},  // STG_E_INSUFFICIENTMEMORY, STG_E_INVALIDPOINTER
    {0x80030012, 0x80030013},  // STG_E_NOMOREFILES, STG_E_DISKISWRITEPROTECTED
    {0x80030019, 0x80030019},  // STG_E_SEEKERROR
    {0x8003001D, 0x8003001E},  // STG_E_WRITEFAULT, STG_E_READFAULT
    {0x80030020, 0x80030021},  // STG_E_SHAREVIOLATION, STG_E_LOCKVIOLATION
    {0x80030050, 0x80030050},  // STG_E_FILEALREADYEXISTS
    {0x80030057, 0x80030057},  // STG_E_INVALIDPARAMETER
    {0x80030070, 0x80030070},  // STG_E_MEDIUMFULL
    {0x800300F0, 0x800300F0},  // STG_E_PROPSETMISMATCHED
    {0x800300FA, 0x800300FF},  // STG_E_ABNORMALAPIEXIT .. STG_E_INVALIDFLAG
    {0x80030100, 0x80030109},  // STG_E_INUSE .. STG_E_DOCFILECORRUPT
    {0x80030110, 0x80030112},  // STG_E_BADBASEADDRESS .. STG_E_NOTSIMPLEFORMAT
    {0x80030201, 0x80030202},  // STG_E_INCOMPLETE, STG_E_TERMINATED
    // FACILITY_ITF, below the codes that interfaces define for themselves
    {0x80040000, 0x80040012},  // OLE_E_OLEVERB .. OLE_E_NOSTORAGE
    {0x80040064, 0x8004006D},  // DV_E_FORMATETC .. DV_E_NOIVIEWOBJECT
    {0x80040100, 0x80040102},  // DRAGDROP_E_*
    {0x80040110, 0x80040112},  // CLASS_E_NOAGGREGATION .. CLASS_E_NOTLICENSED
    {0x80040140, 0x80040140},  // VIEW_E_DRAW
    {0x80040150, 0x80040156},  // REGDB_E_READREGDB .. REGDB_E_BADTHREADINGMODEL
    {0x80040170, 0x80040170},  // CACHE_E_NOCACHE_UPDATED
    {0x80040180, 0x80040181},  // OLEOBJ_E_NOVERBS, OLEOBJ_E_INVALIDVERB
    {0x800401A0, 0x800401A1},  // INPLACE_E_NOTUNDOABLE, INPLACE_E_NOTOOLSPACE
    {0x800401C0, 0x800401C6},  // CONVERT10_E_*
    {0x800401D0, 0x800401D4},  // CLIPBRD_E_*
    {0x800401E0, 0x800401EF},  // MK_E_*
    {0x800401F0, 0x800401FF},  // CO_E_NOTINITIALIZED .. CO_E_RELEASED
    // FACILITY_WIN32
    {0x80070005, 0x80070006},  // E_ACCESSDENIED, E_HANDLE
    {0x8007000E, 0x8007000E},  // E_OUTOFMEMORY
    {0x80070057, 0x80070057},  // E_INVALIDARG
    // FACILITY_SECURITY
    {0x80090001, 0x80090017},  // NTE_BAD_UID .. NTE_PROV_TYPE_NOT_DEF
    // FACILITY_CONTROL: run-time errors of controls
    {0x800A0005, 0x800A0007},  // illegal function call, overflow, out of memory
    {0x800A000B, 0x800A000B},  // division by zero
    {0x800A000E, 0x800A000E},  // out of string space
    {0x800A001C, 0x800A001C},  // out of stack space
    {0x800A0034, 0x800A0037},  // bad file name or number .. file already open
    {0x800A0039, 0x800A003B},  // device I/O error .. bad record length
    {0x800A003D, 0x800A003D},  // disk full
    {0x800A003F, 0x800A0040},  // bad record number, bad file name
    {0x800A0043, 0x800A0044},  // too many files, device unavailable
    {0x800A0046, 0x800A0047},  // permission denied, disk not ready
    {0x800A004B, 0x800A004C},  // path/file access error, path not found
    {0x800A005D, 0x800A005E},  // invalid pattern string, invalid use of Null
    {0x800A0141, 0x800A0141},  // invalid file format
    {0x800A017C, 0x800A017F},  // invalid property value .. set not supported
    {0x800A0181, 0x800A0181},  // need property array index
    {0x800A0183, 0x800A0183},  // set not permitted
    {0x800A0189, 0x800A018A},  // get not supported at run time, get not supported
    {0x800A01A6, 0x800A01A6},  // property not found
    {0x800A01CC, 0x800A01CC},  // invalid clipboard format
    {0x800A01E1, 0x800A01E2},  // invalid picture, printer error
    {0x800A02DF, 0x800A02DF},  // can't save file to TEMP
    {0x800A02E8, 0x800A02E8},  // search text not found
    {0x800A02EA, 0x800A02EA},  // replacements too long
    // FACILITY_CERT
    {0x800B0001, 0x800B000B},  // TRUST_E_PROVIDER_UNKNOWN .. PERSIST_E_NOTSELFSIZING
    {0x800B0100, 0x800B0114},  // TRUST_E_NOSIGNATURE .. CERT_E_INVALID_NAME
};

}  // namespace

std::span<const HResultRun> StandardHResultRuns() noexcept { return kRuns; }

size_t StandardHResultCount() noexcept {
    size_t n = 0;
    for (const HResultRun& run : kRuns) n += run.last - run.first + 1;
    return n;
}

bool IsStandardHResult(HRESULT hr) noexcept {
    const DWORD code = static_cast<DWORD>(hr);
    auto it = std::upper_bound(std::begin(kRuns), std::end(kRuns), code,
                               [](DWORD c, const HResultRun& run) { return c < run.first; });
    return it != std::begin(kRuns) && code <= std::prev(it)->last;
}
