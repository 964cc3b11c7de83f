#pragma once

// ISDN call monitoring. TCapiMonitor listens on one ISDN controller for incoming calls through
// its own CAPI engine (TCapi, capi_engine.h), decides how each call is answered (by default it
// lets the call pass: the telephones keep ringing), normalises the caller's number and reports
// the call through OnIncomingCall. The engine sits on the driver binding (capi_binding.h) and
// the message codec (capi_message.h). This subsystem shows nothing and knows nothing about the
// phone book or the box; the caller notification consumes OnIncomingCall.
//
// Every offered call gets exactly one CONNECT_RESP (or ALERT_REQ and then one CONNECT_RESP):
// at most one call waits for a decision at a time; when another call arrives while one waits,
// the waiting one is ignored at once (Reject 1) before the new one is offered.

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

#include "capi/capi_engine.h"

class QTimer;

class TCapiMonitor final : public QObject
{
public:
    explicit TCapiMonitor(QObject *parent = nullptr);
    ~TCapiMonitor() override;
    Q_DISABLE_COPY_MOVE(TCapiMonitor)

    int RejectTimeOut() const { return m_rejectTimeOut; }
    quint32 Controller() const { return m_controller; }
    quint32 Error() const { return m_error; }
    QString ErrorString() const { return m_errorString; }
    bool NoDisturbMode() const { return m_noDisturbMode; }
    void SetNoDisturbMode(bool on) { m_noDisturbMode = on; }
    quint16 LastRejectCause() const { return m_lastRejectCause; }

    std::function<void(const QString &CallingPartyNumber, const QString &CalledPartyNumber, quint16 CipValue,
                       quint16 &aRejectCause)>
        OnRejectCallQuestion;
    std::function<void(const QString &CallingPartyNumber, const QString &CalledPartyNumber, quint16 CipValue,
                       const QString &CipValueString)>
        OnIncomingCall;
    std::function<void(bool bUserCanReject, bool bUserCanCangeNoDisturbMode)> OnStateChange;
    std::function<void(quint16 aRejectCause, quint16 aDisconnectReason)> OnDisconnectInfo;
    std::function<void(QObject *sender)> OnDoResetCapi;

    // Registers a new engine (dropping the current one) and listens on the controller.
    bool StartMonitor(quint32 Controller, int RejectTimeOut);
    // Answers the call that waits for a decision with this CAPI Reject value; nothing without one.
    void RejectCall(quint16 aRejectCause);

    // The engine while the monitor runs, else null.
    TCapi *Engine() const { return m_capi.get(); }

    // The caller's number as reported: national numbers, and international ones not starting
    // with "0", get one leading "0".
    static QString CallingNumberText(const QString &digits, quint8 typeOctet);

private:
    void HandleCapiMessage(TConnection *connection, TCapiMessage &message, bool &Respond);
    void HandleConnectInd(TConnection *connection, const TConnectInd &message);
    void UpdateError();
    void DoResetCapi();
    void RejectTimerTick();
    void Answer(TConnection *connection, quint16 reject);
    void StopRejectTimer();
    void DropEngine();
    void stateChange(bool canReject, bool canChangeNoDisturbMode);

    std::unique_ptr<TCapi> m_capi;
    int m_rejectTimeOut = 0;
    quint32 m_controller = 1;
    quint32 m_error = 0;
    QString m_errorString;
    bool m_noDisturbMode = false;
    quint16 m_lastRejectCause = 0xFFFF;
    int m_rejectCountdown = 0;
    QTimer *m_rejectTimer = nullptr;
    int m_waitingCall = 0; // connection number of the call waiting for a decision, 0 for none
    int m_handlerDepth = 0;
};
