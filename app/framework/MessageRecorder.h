#pragma once

#include "app/framework/MessageService.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// A message service for tests: keeps every message shown and answers as scripted. It makes
// itself current while it exists.
class CMessageRecorder : public CMessageService {
public:
    struct Shown {
        std::string strText;
        std::string strCaption;
        UINT nType = 0;
    };

    CMessageRecorder();
    ~CMessageRecorder() override;
    CMessageRecorder(const CMessageRecorder&) = delete;
    CMessageRecorder& operator=(const CMessageRecorder&) = delete;

    // The next answers, in order; once they are used up every message gets its first button
    // (OK or Yes).
    void Answer(int nResult) { m_answers.push_back(nResult); }
    // Called for every message as it is shown, before the answer is given.
    void OnShow(std::function<void(const Shown&)> fn) { m_fnOnShow = std::move(fn); }

    int Show(const std::string& strText, const std::string& strCaption, UINT nType) override;

    const std::vector<Shown>& Messages() const { return m_shown; }
    std::size_t Count() const { return m_shown.size(); }
    void Clear() { m_shown.clear(); }

private:
    CMessageService* m_pPrevious;
    std::deque<int> m_answers;
    std::vector<Shown> m_shown;
    std::function<void(const Shown&)> m_fnOnShow;
};
