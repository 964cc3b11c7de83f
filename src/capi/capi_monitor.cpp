#include "capi/capi_monitor.h"

#include <QTimer>

#include "capi/capi_texts.h"
#include "common/logging.h"

namespace {

constexpr quint16 NO_REJECT = 0xFFFF;
constexpr quint32 INFO_MASK = 0x0000007F;
// Every CIP value that has a text except 0, without the any-match bit.
constexpr quint32 CIP_MASK = 0x1FFF03FE;

// Runs an owner's event so that its failure cannot keep a call from being answered.
template <typename F> void guarded(const char *event, F &&f)
{
    try {
        f();
    } catch (const std::exception &e) {
        qCWarning(lcCapi) << event << "failed:" << e.what();
    } catch (...) {
        qCWarning(lcCapi) << event << "failed";
    }
}

} // namespace

TCapiMonitor::TCapiMonitor(QObject *parent) : QObject(parent) {}

TCapiMonitor::~TCapiMonitor()
{
    StopRejectTimer();
    m_capi.reset();
}

QString TCapiMonitor::CallingNumberText(const QString &digits, quint8 typeOctet)
{
    QString text = digits;
    if (!text.isEmpty() &&
        ((!text.startsWith(QLatin1Char('0')) && (typeOctet & 0x10) != 0) || (typeOctet & 0x20) != 0))
        text.prepend(QLatin1Char('0'));
    return text;
}

void TCapiMonitor::stateChange(bool canReject, bool canChangeNoDisturbMode)
{
    if (OnStateChange)
        guarded("OnStateChange", [&] { OnStateChange(canReject, canChangeNoDisturbMode); });
}

void TCapiMonitor::DropEngine()
{
    m_waitingCall = 0;
    m_rejectCountdown = 0;
    StopRejectTimer();
    if (!m_capi)
        return;
    if (m_handlerDepth > 0) {
        // Restarted from inside one of its own messages: the engine is still handling it.
        std::shared_ptr<TCapi> old(m_capi.release());
        old->OnMessage = nullptr;
        old->OnReset = nullptr;
        QTimer::singleShot(0, this, [old] {});
        return;
    }
    m_capi.reset();
}

bool TCapiMonitor::StartMonitor(quint32 Controller, int RejectTimeOut)
{
    m_error = 0;
    DropEngine();
    m_controller = Controller;
    m_rejectTimeOut = RejectTimeOut;

    m_capi = std::make_unique<TCapi>(1, 2, 128);
    UpdateError();
    if (m_error != 0) {
        m_capi.reset();
        return false;
    }
    m_capi->OnMessage = [this](TConnection *connection, TCapiMessage &message, bool &Respond) {
        HandleCapiMessage(connection, message, Respond);
    };
    m_capi->OnReset = [this](TCapi *) { DoResetCapi(); };

    const bool sent = m_capi->PutMessage(TListenReq(m_controller, INFO_MASK, CIP_MASK, 0,
                                                    TCallingPartyNumber(0x00, 0x80, QByteArray()),
                                                    TCallingPartySubAddress(0x80, QByteArray())));
    if (!sent) {
        UpdateError();
        m_capi.reset();
        stateChange(false, false);
    } else {
        stateChange(false, true);
    }
    return m_error == 0;
}

void TCapiMonitor::UpdateError()
{
    if (!m_capi)
        return;
    m_error = m_capi->Error();
    const QString text = m_capi->ErrorText();
    m_errorString = text.isEmpty() ? QStringLiteral("OK") : text;
}

void TCapiMonitor::RejectCall(quint16 aRejectCause)
{
    if (!m_capi || m_waitingCall == 0)
        return;
    TConnection *connection = m_capi->Connections().FindByNumber(m_waitingCall);
    if (!connection || connection->Owner != this || connection->State != csCallPending) {
        m_waitingCall = 0;
        return;
    }
    Answer(connection, aRejectCause);
}

void TCapiMonitor::Answer(TConnection *connection, quint16 reject)
{
    TCapi *engine = m_capi.get();
    stateChange(false, false);
    if (m_capi.get() != engine || !engine)
        return; // restarted by the handler: the connection went with the old engine
    m_rejectCountdown = 0;
    StopRejectTimer();
    if (connection->Number == m_waitingCall)
        m_waitingCall = 0;
    m_lastRejectCause = reject;
    if (reject == 0)
        engine->PutMessage(TConnectResp(connection->PLCI, 0, TBProtocol(1, 1, 0)));
    else
        engine->PutMessage(TConnectResp(connection->PLCI, reject));
}

void TCapiMonitor::StopRejectTimer()
{
    if (!m_rejectTimer)
        return;
    // May run inside the timer's own tick: stop it now, free it once the tick has returned.
    m_rejectTimer->stop();
    m_rejectTimer->deleteLater();
    m_rejectTimer = nullptr;
}

void TCapiMonitor::RejectTimerTick()
{
    --m_rejectCountdown;
    if (m_rejectCountdown <= 0)
        RejectCall(1);
}

void TCapiMonitor::DoResetCapi()
{
    if (OnDoResetCapi)
        OnDoResetCapi(this);
}

void TCapiMonitor::HandleCapiMessage(TConnection *connection, TCapiMessage &message, bool &Respond)
{
    ++m_handlerDepth;
    struct Leave
    {
        int &depth;
        ~Leave() { --depth; }
    } leave{m_handlerDepth};

    UpdateError();
    switch (message.Command()) {
    case capiConnectInd:
        if (connection)
            HandleConnectInd(connection, static_cast<const TConnectInd &>(message));
        break;
    case capiConnectB3Ind: {
        if (!connection)
            break;
        Respond = false;
        TCapi *engine = m_capi.get();
        engine->PutMessage(TConnectB3Resp(connection->NCCI, 2));
        engine->Disconnect(connection);
        stateChange(false, false);
        break;
    }
    case capiDisconnectInd: {
        // Only the end of the call that waits (or of the last call) stops the countdown; another
        // call's end must not leave the waiting call without an answer.
        const bool waitingCallEnded = connection && connection->Number == m_waitingCall;
        if (waitingCallEnded || m_waitingCall == 0) {
            m_waitingCall = 0;
            m_rejectCountdown = 0;
            StopRejectTimer();
        }
        if (OnDisconnectInfo)
            OnDisconnectInfo(m_lastRejectCause, static_cast<const TDisconnectInd &>(message).Reason);
        stateChange(m_waitingCall != 0, m_waitingCall == 0);
        break;
    }
    case capiListenConf:
        stateChange(false, true);
        break;
    default:
        break;
    }
}

void TCapiMonitor::HandleConnectInd(TConnection *connection, const TConnectInd &message)
{
    TCapi *engine = m_capi.get();
    if (m_waitingCall != 0) {
        if (TConnection *earlier = engine->Connections().FindByNumber(m_waitingCall);
            earlier && earlier->State == csCallPending)
            Answer(earlier, 1);
        m_waitingCall = 0;
    }

    connection->Owner = this;
    const QString number =
        CallingNumberText(message.CallingPartyNumber.Digits, message.CallingPartyNumber.TypeOctet);
    const QString called = message.CalledPartyNumber.Digits;
    const quint16 cip = message.CIPValue;
    quint16 aRejectCause = NO_REJECT;
    m_lastRejectCause = NO_REJECT;
    if (OnRejectCallQuestion) {
        guarded("OnRejectCallQuestion", [&] { OnRejectCallQuestion(number, called, cip, aRejectCause); });
        if (m_capi.get() != engine)
            return; // restarted by the handler: this call belongs to the old engine
    }

    if (aRejectCause != NO_REJECT) {
        Answer(connection, aRejectCause);
    } else if (m_noDisturbMode) {
        Answer(connection, 0); // accepted; cleared again when its B channel comes up
    } else if (m_rejectTimeOut > 0) {
        m_rejectCountdown = m_rejectTimeOut;
        if (!m_rejectTimer) {
            m_rejectTimer = new QTimer(this);
            connect(m_rejectTimer, &QTimer::timeout, this, [this] { RejectTimerTick(); });
        }
        m_rejectTimer->start(1000);
        m_waitingCall = connection->Number;
        engine->PutMessage(TAlertReq(connection->PLCI));
    } else {
        Answer(connection, 1);
    }

    stateChange(aRejectCause == NO_REJECT && m_rejectTimeOut > 0 && !m_noDisturbMode, false);
    if (OnIncomingCall)
        OnIncomingCall(number, called, cip, CipValueText(cip));
}
