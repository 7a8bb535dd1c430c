#pragma once

#include "history/HistoryChange.h"
#include "network/LineWorker.h"
#include "records/Press.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the Press Properties dialog shows and does, without the window: the field texts, the
// dialog's copy of the station's values, the analyser state, and every button's exchange with
// the analyser. The window only copies field texts in and out and enables its controls.
// Exchanges run through the host, which may run them elsewhere: each button's work goes on in
// the completion of its request, and values read come in as they arrive.
class CPressProperties {
public:
    // Field texts as the edit controls hold them.
    struct Fields {
        std::string strNodeID, strTeachCycles, strSerialNo, strName, strTerminalType;
        std::string strPass, strFail, strPeak;
        std::string strDFactor, strTFactor, strSFactor, strBLO, strWireType, strStatus;
    };
    // Which field a validation failure points at, in transfer order.
    enum class Field { none, nodeID, teachCycles, dFactor, tFactor, sFactor, blo };
    enum class Icon { stop, exclamation, information };
    enum class Factor { d, s, t };

    // Whose request an exchange is: the window disables that button while it runs.
    enum class Request { open, getLimits, setLimits, getProduction, setTeachCycles, checkID };
    using Poster = std::function<void(std::function<void()>)>;

    // The window's side: messages by string number or literal text, the line, and showing.
    class CHost {
    public:
        virtual ~CHost() = default;
        virtual void Message(unsigned nStringID, const std::string& strArg, Icon icon) = 0;
        virtual void MessageText(const std::string& text, Icon icon) = 0;
        // A text of the string table.
        virtual std::string String(unsigned nStringID) = 0;
        // The field that failed validation gets the focus.
        virtual void FocusField(Field field) = 0;
        // Runs the steps on the line, stopping at the first that fails; done gets whether all
        // succeeded, on the window's thread. Not called when the window has gone or the
        // request was cancelled.
        virtual void Run(Request request, std::vector<CLineWorker::Step> steps,
                         std::function<void(bool bOk)> done) = 0;
        // Something that runs a function on the window's thread, for the steps to hand values
        // over with; made on the window's thread, called from any.
        virtual Poster MakePoster() = 0;
        // Values read have arrived: the reading fields show them.
        virtual void ShowReadings() = 0;
        // Something that records a change made to the analyser at a node, for the steps to
        // call on the line's thread; made on the window's thread. Empty where no history is
        // kept.
        using ChangeSink = std::function<void(unsigned nNodeID, const CHistoryChange& change)>;
        virtual ChangeSink MakeChangeSink() { return {}; }
        // A button's work is over: every value shown, the controls set for the state.
        virtual void Refresh() = 0;
        // A short word that a change was made, where it needs no message to close.
        virtual void Confirm(const std::string& strText) { (void)strText; }
    };

    using FindPressFn = std::function<const CPress*(int nNodeID)>;

    CPressProperties(const CPress& press, FindPressFn findPress, CHost& host);

    // Dialog copy, as the caller reads it after OK.
    unsigned m_nNodeID, m_nTeachCycles, m_nBLO;
    double m_dDFactor, m_dTFactor, m_dSFactor;
    std::string m_strSerialNo, m_strName, m_strTerminalType, m_strWireType;
    std::string m_strPass = "???", m_strFail = "???", m_strPeak = "???", m_strStatus;

    // The status icon: on-line or no response.
    bool IconOnline() const { return m_bIconOnline; }
    // The nine controls that need an answering analyser.
    bool AnalyserControlsEnabled() const { return m_bAnalyserControls; }

    // The field texts for the copy's values, and back (false, with the message shown, at the
    // first value that is not a number of the right kind or lies outside its range).
    Fields ShowValues() const;
    bool TakeFields(const Fields& fields);

    // The buttons. Those that take the fields first return false when the fields were refused
    // (the message has been shown and the fields must stay as typed); the rest of their work
    // follows when the analyser has answered.
    void Open();
    void ReadLimits();
    bool WriteLimits(const Fields& fields);
    bool ReadProduction(const Fields& fields);
    bool SetTeachCycles(const Fields& fields);
    bool CheckID(const Fields& fields);
    bool FactorArrow(const Fields& fields, Factor factor, bool up);
    bool OK(const Fields& fields);

    // Writes the accepted values into the station. True when its name changed.
    bool ApplyTo(CPress& press) const;

    static std::string FormatDouble(double value);

private:
    bool NodeInUse();
    void ReadLimitsThen(Request request, std::function<void()> then);
    void ReadProductionThen(Request request, std::function<void()> then);
    void SetStatus(bool online);
    // A step that sets a value and records the change with the value read before it.
    static CLineWorker::Step SetStep(const CHost::ChangeSink& record, unsigned node,
                                     int (CZarnPort::*set)(unsigned int, unsigned short),
                                     unsigned short value, CHistoryChange::Parameter parameter,
                                     std::optional<std::int64_t> before);

    const CPress& m_press;
    FindPressFn m_findPress;
    CHost& m_host;
    bool m_bIconOnline = false;
    bool m_bAnalyserControls = false;
    // The limits as last read from the analyser (BLO, then the factors in hundredths), or as
    // last written to it; unknown until read and after a write that failed.
    std::optional<std::int64_t> m_readBLO, m_readD, m_readS, m_readT;
};
