#include "app/framework/MessageRecorder.h"

CMessageRecorder::CMessageRecorder() : m_pPrevious(CMessageService::Install(this)) {}

CMessageRecorder::~CMessageRecorder() {
    CMessageService::Install(m_pPrevious);
}

int CMessageRecorder::Show(const std::string& strText, const std::string& strCaption, UINT nType) {
    m_shown.push_back({strText, strCaption, nType});
    if (m_fnOnShow) {
        m_fnOnShow(m_shown.back());
    }
    if (!m_answers.empty()) {
        int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    switch (nType & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDYES;
    default:
        return IDOK;
    }
}
