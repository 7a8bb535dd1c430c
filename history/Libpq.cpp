#include "history/Libpq.h"

#include <dlfcn.h>
#include <mutex>

namespace {

template <typename F> bool Resolve(void* pLib, const char* pszName, F& pfn, std::string& strError) {
    pfn = reinterpret_cast<F>(::dlsym(pLib, pszName));
    if (pfn == nullptr) {
        strError =
            std::string("the PostgreSQL client library ") + CLibpq::kSoname + " lacks " + pszName;
        return false;
    }
    return true;
}

} // namespace

const CLibpq* CLibpq::Get(std::string& strError) {
    static CLibpq s_libpq;
    static std::string s_strError;
    static bool s_bLoaded = false;
    static std::once_flag s_once;
    std::call_once(s_once, [] { s_bLoaded = s_libpq.Load(s_strError); });
    if (!s_bLoaded) {
        strError = s_strError;
        return nullptr;
    }
    return &s_libpq;
}

bool CLibpq::Load(std::string& strError) {
    // Local: its symbols serve this table only, never another library's look-ups.
    void* pLib = ::dlopen(kSoname, RTLD_NOW | RTLD_LOCAL);
    if (pLib == nullptr) {
        const char* pszWhy = ::dlerror();
        strError = std::string("the PostgreSQL client library ") + kSoname + " cannot be loaded (" +
                   (pszWhy != nullptr ? pszWhy : "not found") + "); install libpq5";
        return false;
    }
    const bool bOk =
        Resolve(pLib, "PQconnectStartParams", m_pfnConnectStartParams, strError) &&
        Resolve(pLib, "PQconnectPoll", m_pfnConnectPoll, strError) &&
        Resolve(pLib, "PQstatus", m_pfnStatus, strError) &&
        Resolve(pLib, "PQerrorMessage", m_pfnErrorMessage, strError) &&
        Resolve(pLib, "PQconnectionNeedsPassword", m_pfnConnectionNeedsPassword, strError) &&
        Resolve(pLib, "PQsocket", m_pfnSocket, strError) &&
        Resolve(pLib, "PQsetnonblocking", m_pfnSetNonblocking, strError) &&
        Resolve(pLib, "PQsetNoticeProcessor", m_pfnSetNoticeProcessor, strError) &&
        Resolve(pLib, "PQfinish", m_pfnFinish, strError) &&
        Resolve(pLib, "PQsendQuery", m_pfnSendQuery, strError) &&
        Resolve(pLib, "PQsendQueryParams", m_pfnSendQueryParams, strError) &&
        Resolve(pLib, "PQflush", m_pfnFlush, strError) &&
        Resolve(pLib, "PQconsumeInput", m_pfnConsumeInput, strError) &&
        Resolve(pLib, "PQisBusy", m_pfnIsBusy, strError) &&
        Resolve(pLib, "PQgetResult", m_pfnGetResult, strError) &&
        Resolve(pLib, "PQresultStatus", m_pfnResultStatus, strError) &&
        Resolve(pLib, "PQresultErrorMessage", m_pfnResultErrorMessage, strError) &&
        Resolve(pLib, "PQclear", m_pfnClear, strError) &&
        Resolve(pLib, "PQntuples", m_pfnNtuples, strError) &&
        Resolve(pLib, "PQnfields", m_pfnNfields, strError) &&
        Resolve(pLib, "PQgetisnull", m_pfnGetisnull, strError) &&
        Resolve(pLib, "PQgetvalue", m_pfnGetvalue, strError) &&
        Resolve(pLib, "PQgetlength", m_pfnGetlength, strError) &&
        Resolve(pLib, "PQftype", m_pfnFtype, strError) &&
        Resolve(pLib, "PQgetCancel", m_pfnGetCancel, strError) &&
        Resolve(pLib, "PQcancel", m_pfnCancel, strError) &&
        Resolve(pLib, "PQfreeCancel", m_pfnFreeCancel, strError);
    // A library without them all is no use, but stays loaded: its pointers may be half set.
    return bOk;
}
