#pragma once

#include <libpq-fe.h>

#include <string>

// libpq, loaded the first time a plant database is used. A program that never names one (a
// zarnctl ping, the program on its local file) does not load it, nor the Kerberos, LDAP and
// TLS libraries it brings, at every start. The functions are checked against libpq-fe.h when
// compiling; the library is found by its soname, whose interface does not change.
class CLibpq {
public:
    static constexpr const char* kSoname = "libpq.so.5";

    // The loaded library, or nullptr with why in strError. Thread-safe; loaded once and never
    // unloaded (a cancel request may still run on its own thread at the end).
    static const CLibpq* Get(std::string& strError);

    decltype(&::PQconnectStartParams) m_pfnConnectStartParams = nullptr;
    decltype(&::PQconnectPoll) m_pfnConnectPoll = nullptr;
    decltype(&::PQstatus) m_pfnStatus = nullptr;
    decltype(&::PQerrorMessage) m_pfnErrorMessage = nullptr;
    decltype(&::PQconnectionNeedsPassword) m_pfnConnectionNeedsPassword = nullptr;
    decltype(&::PQsocket) m_pfnSocket = nullptr;
    decltype(&::PQsetnonblocking) m_pfnSetNonblocking = nullptr;
    decltype(&::PQsetNoticeProcessor) m_pfnSetNoticeProcessor = nullptr;
    decltype(&::PQfinish) m_pfnFinish = nullptr;
    decltype(&::PQsendQuery) m_pfnSendQuery = nullptr;
    decltype(&::PQsendQueryParams) m_pfnSendQueryParams = nullptr;
    decltype(&::PQflush) m_pfnFlush = nullptr;
    decltype(&::PQconsumeInput) m_pfnConsumeInput = nullptr;
    decltype(&::PQisBusy) m_pfnIsBusy = nullptr;
    decltype(&::PQgetResult) m_pfnGetResult = nullptr;
    decltype(&::PQresultStatus) m_pfnResultStatus = nullptr;
    decltype(&::PQresultErrorMessage) m_pfnResultErrorMessage = nullptr;
    decltype(&::PQclear) m_pfnClear = nullptr;
    decltype(&::PQntuples) m_pfnNtuples = nullptr;
    decltype(&::PQnfields) m_pfnNfields = nullptr;
    decltype(&::PQgetisnull) m_pfnGetisnull = nullptr;
    decltype(&::PQgetvalue) m_pfnGetvalue = nullptr;
    decltype(&::PQgetlength) m_pfnGetlength = nullptr;
    decltype(&::PQftype) m_pfnFtype = nullptr;
    decltype(&::PQgetCancel) m_pfnGetCancel = nullptr;
    decltype(&::PQcancel) m_pfnCancel = nullptr;
    decltype(&::PQfreeCancel) m_pfnFreeCancel = nullptr;

private:
    CLibpq() = default;
    bool Load(std::string& strError);
};
