#pragma once

#include "app/network/Press.h"

#include <functional>
#include <string>

class CZarnPort;

// What the Press Properties dialog shows and does, without the window: the field texts, the
// dialog's copy of the station's values, the analyser state, and every button's exchange with
// the analyser. The window only copies field texts in and out and enables its controls.
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

    // The window's side: messages by string number or literal text, the wait cursor, pauses.
    class CHost {
    public:
        virtual ~CHost() = default;
        virtual void Message(unsigned nStringID, const std::string& strArg, Icon icon) = 0;
        virtual void MessageText(const std::string& text, Icon icon) = 0;
        // A text of the string table.
        virtual std::string String(unsigned nStringID) = 0;
        virtual void WaitCursor(bool on) = 0;
        virtual void Pause(unsigned ms) = 0;
        // The field that failed validation gets the focus.
        virtual void FocusField(Field field) = 0;
    };

    using FindPressFn = std::function<const CPress*(int nNodeID)>;

    CPressProperties(const CPress& press, CZarnPort& port, FindPressFn findPress, CHost& host);

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
    // (the message has been shown and the fields must stay as typed).
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
    void ReadProductionAfterTake();
    void SetStatus(bool online);

    const CPress& m_press;
    CZarnPort& m_port;
    FindPressFn m_findPress;
    CHost& m_host;
    bool m_bIconOnline = false;
    bool m_bAnalyserControls = false;
};
