#include "capi/capi_engine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QObject>

#include "capi/capi_binding.h"
#include "capi/capi_texts.h"
#include "common/logging.h"

namespace {

constexpr unsigned CAPI_QUEUE_EMPTY = 0x1104;
// How long one wait for a message lasts before the thread looks at its stop flag again.
constexpr int WAIT_SLICE_MS = 500;
// Release waits this long for the thread after the wake-up LISTEN_REQ, then releases the
// application (which ends any wait inside the driver) and waits RELEASE_GRACE_MS more.
constexpr int RELEASE_WAIT_MS = 4000;
constexpr int RELEASE_GRACE_MS = 1000;
// Back-off while the driver says "ready" but has nothing to give (a lost link does that at once,
// for ever): 10 ms doubling up to one second.
constexpr int BACKOFF_FIRST_MS = 10;
constexpr int BACKOFF_MAX_MS = 1000;
constexpr int LOST_LINK_REPORT_AFTER = 8;
// The Linux library's send buffer size (128 + 2048).
constexpr qsizetype DRIVER_SEND_BUFFER_SIZE = 128 + 2048;

qsizetype dataLengthOf(const quint8 *message, qsizetype length)
{
    return length >= 18 ? qsizetype(message[16] | message[17] << 8) : 0;
}

} // namespace

// Lives on the engine's creating thread: the hand-over and the reset notice are queued to it.
class CapiNotifier final : public QObject
{
public:
    explicit CapiNotifier(TCapi *engine) : m_engine(engine) {}
    Q_DISABLE_COPY_MOVE(CapiNotifier)

    TCapi *m_engine;
    int m_busy = 0; // > 0 while one of its queued calls runs
};

// State shared by the receiving thread and the engine; the thread keeps it alive, so a thread that
// had to be left behind at release never touches a destroyed engine.
struct CapiReceiverState
{
    std::mutex mutex;
    std::condition_variable cv;
    bool terminate = false;
    bool finished = false;
    bool handoverPending = false;
    quint64 handoverSerial = 0;
    const quint8 *message = nullptr;
    bool resetRequested = false;
    CapiNotifier *notifier = nullptr; // only used while terminate is false
};

class TCapiCallBack
{
public:
    TCapiCallBack(std::shared_ptr<CapiDriverApi> driver, unsigned applId, CapiNotifier *notifier)
        : m_state(std::make_shared<CapiReceiverState>())
    {
        m_state->notifier = notifier;
        m_thread = std::thread(&TCapiCallBack::run, m_state, std::move(driver), applId);
    }

    ~TCapiCallBack()
    {
        if (m_thread.joinable())
            m_thread.detach();
    }
    TCapiCallBack(const TCapiCallBack &) = delete;
    TCapiCallBack &operator=(const TCapiCallBack &) = delete;

    void RequestTerminate()
    {
        std::lock_guard lock(m_state->mutex);
        m_state->terminate = true;
        m_state->notifier = nullptr;
        m_state->cv.notify_all();
    }

    void RequestReset()
    {
        std::lock_guard lock(m_state->mutex);
        m_state->resetRequested = true;
    }

    // True when the thread ended within the time; it is then joined.
    bool WaitFinished(int ms)
    {
        std::unique_lock lock(m_state->mutex);
        const bool done =
            m_state->cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_state->finished; });
        lock.unlock();
        if (done && m_thread.joinable())
            m_thread.join();
        return done;
    }

    const std::shared_ptr<CapiReceiverState> &state() const { return m_state; }

private:
    static void run(std::shared_ptr<CapiReceiverState> state, std::shared_ptr<CapiDriverApi> driver,
                    unsigned applId);
    static void postHandover(const std::shared_ptr<CapiReceiverState> &state, quint64 serial);
    static void postReset(CapiNotifier *notifier);

    std::shared_ptr<CapiReceiverState> m_state;
    std::thread m_thread;
};

void TCapiCallBack::run(std::shared_ptr<CapiReceiverState> state, std::shared_ptr<CapiDriverApi> driver,
                        unsigned applId)
{
    int failures = 0;
    const auto backOff = [&state, &failures] {
        ++failures;
        if (failures == LOST_LINK_REPORT_AFTER)
            qCWarning(lcCapi) << "CAPI driver keeps reporting messages it cannot deliver; link lost?";
        const int ms = std::min(BACKOFF_FIRST_MS << std::min(failures - 1, 7), BACKOFF_MAX_MS);
        std::unique_lock lock(state->mutex);
        state->cv.wait_for(lock, std::chrono::milliseconds(ms), [&state] { return state->terminate; });
    };

    for (;;) {
        {
            std::lock_guard lock(state->mutex);
            if (state->terminate)
                break;
        }
        const unsigned waited = driver->waitForSignal(applId, WAIT_SLICE_MS);
        {
            std::lock_guard lock(state->mutex);
            if (state->terminate)
                break;
        }
        if (waited == CAPI_QUEUE_EMPTY)
            continue; // the slice ran out
        if (waited != 0) {
            backOff();
            continue;
        }
        // Only fetch after the driver said a message waits: fetching blocks otherwise.
        unsigned char *received = nullptr;
        if (driver->getMessage(applId, &received) != 0 || !received) {
            backOff();
            continue;
        }
        failures = 0;

        std::unique_lock lock(state->mutex);
        if (state->terminate)
            break;
        state->message = received;
        state->handoverPending = true;
        const quint64 serial = ++state->handoverSerial;
        postHandover(state, serial);
        state->cv.wait(lock, [&state] { return !state->handoverPending || state->terminate; });
        state->message = nullptr;
        if (state->terminate)
            break;
        if (state->resetRequested) {
            state->resetRequested = false;
            postReset(state->notifier);
        }
    }
    std::lock_guard lock(state->mutex);
    state->finished = true;
    state->handoverPending = false;
    state->cv.notify_all();
}

// Called with the state locked and terminate false, so the notifier is alive.
void TCapiCallBack::postHandover(const std::shared_ptr<CapiReceiverState> &state, quint64 serial)
{
    CapiNotifier *notifier = state->notifier;
    QMetaObject::invokeMethod(
        notifier,
        [notifier, state, serial] {
            const quint8 *received = nullptr;
            {
                std::lock_guard lock(state->mutex);
                if (state->terminate || !state->handoverPending || state->handoverSerial != serial)
                    return;
                received = state->message;
            }
            if (notifier->m_engine) {
                ++notifier->m_busy;
                notifier->m_engine->DispatchReceived(received);
                --notifier->m_busy;
            }
            std::lock_guard lock(state->mutex);
            if (state->handoverSerial == serial)
                state->handoverPending = false;
            state->cv.notify_all();
        },
        Qt::QueuedConnection);
}

void TCapiCallBack::postReset(CapiNotifier *notifier)
{
    QMetaObject::invokeMethod(
        notifier,
        [notifier] {
            TCapi *engine = notifier->m_engine;
            if (!engine || !engine->OnReset)
                return;
            // The owner may destroy the engine in OnReset: call a copy, touch nothing afterwards.
            const auto onReset = engine->OnReset;
            ++notifier->m_busy;
            onReset(engine);
            --notifier->m_busy;
        },
        Qt::QueuedConnection);
}

// ---- TCapi ----

TCapi::TCapi(quint32 maxLogicalConnection, quint32 maxBDataBlocks, quint32 maxBDataLen)
    : m_maxLogicalConnection(maxLogicalConnection), m_maxBDataBlocks(maxBDataBlocks),
      m_maxBDataLen(maxBDataLen)
{
    m_notifyWindow = new CapiNotifier(this);
    Register();
}

TCapi::~TCapi()
{
    Release();
    m_connections.Clear();
    m_notifyWindow->m_engine = nullptr;
    // Destroyed from inside one of its own queued calls (OnReset): let that call return first.
    if (m_notifyWindow->m_busy > 0)
        m_notifyWindow->deleteLater();
    else
        delete m_notifyWindow;
}

void TCapi::Register()
{
    if (CapiDriverState() == capiDriverNotLoaded)
        LoadCapiDriver();
    const int state = CapiDriverState();
    if (state != capiDriverInstalled) {
        m_error = 0x9000 + quint32(state);
        return;
    }
    m_driver = CapiDriver();
    if (!m_driver) {
        m_error = 0x9000 + capiDriverNotLoaded;
        return;
    }
    unsigned applId = 0;
    const unsigned result =
        m_driver->registerApplication(CapiMessageBufferSize(m_maxLogicalConnection), m_maxLogicalConnection,
                                      m_maxBDataBlocks, m_maxBDataLen, &applId);
    if (result != 0) {
        m_error = result;
        return;
    }
    m_applId = applId;
    m_registered = true;
    m_receiveBufferSize = m_driver->receiveBufferSize(m_maxBDataLen);
    m_thread = std::make_unique<TCapiCallBack>(m_driver, m_applId, m_notifyWindow);
}

void TCapi::Release()
{
    if (m_registered && m_thread) {
        m_thread->RequestTerminate();
        // Its LISTEN_CONF wakes a thread that waits inside the driver.
        PutMessage(TListenReq(1, 0x0000007F, 0x00000002, 0));
        bool released = false;
        unsigned result = 0;
        bool finished = m_thread->WaitFinished(RELEASE_WAIT_MS);
        if (!finished) {
            // Releasing the application ends a wait or fetch that is still inside the driver.
            qCWarning(lcCapi) << "CAPI receiving thread did not stop in time; releasing the application";
            result = m_driver->release(m_applId);
            released = true;
            finished = m_thread->WaitFinished(RELEASE_GRACE_MS);
        }
        // A thread that is still stuck is left behind; it only holds its own shared state.
        m_thread.reset();
        if (!released)
            result = m_driver->release(m_applId);
        if (result != 0)
            m_error = result;
    }
    for (int i = 0; i < m_connections.Count(); ++i) {
        TConnection *c = m_connections.Items(i);
        if (c->Sending && OnTransferEnd)
            OnTransferEnd(c, false);
    }
}

QString TCapi::ErrorText() const
{
    if (m_error == 0)
        return QString();
    if (m_error >= 0x9000)
        return CapiDriverStateText(int(m_error - 0x9000));
    return CapiInfoText(quint16(m_error));
}

bool TCapi::PutMessage(TCapiMessage &&message)
{
    m_error = 0;
    message.Header.ApplID = quint16(m_applId & 0xFFFF);
    const quint8 *encoded = message.Encode();
    // The Linux library treats the buffer as one of its own send buffers: it copies more than the
    // message's length out of it, and for DATA_B3_REQ it copies the data in behind the message.
    // So the message goes to the driver in a zero-padded buffer of at least that size.
    const qsizetype length = message.Header.Length;
    const qsizetype dataLength = message.Command() == capiDataB3Req ? dataLengthOf(encoded, length) : 0;
    const size_t needed = size_t(std::max<qsizetype>(DRIVER_SEND_BUFFER_SIZE, length + dataLength + 64));
    m_sendBuffer.assign(needed, 0);
    std::copy(encoded, encoded + length, m_sendBuffer.begin());
    // Without a registration there is no application to send for.
    const unsigned result = m_registered ? m_driver->putMessage(m_applId, m_sendBuffer.data()) : 0x1101;
    if (result != 0)
        m_error = result;
    return result == 0;
}

bool TCapi::Disconnect(TConnection *connection)
{
    m_error = 0;
    if (!m_connections.Contains(connection))
        return false;
    switch (connection->State) {
    case csB3Active:
        connection->DisconnectInitiator = 1;
        PutMessage(TDisconnectB3Req(connection->NCCI));
        break;
    case csCallPending:
    case csCallActive:
    case csB3Pending:
    case csB3Disconnecting:
    case csB3Disconnected:
        connection->DisconnectInitiator = 1;
        connection->DisconnectRequested = true;
        PutMessage(TDisconnectReq(connection->PLCI));
        break;
    default:
        break;
    }
    return m_error == 0;
}

int TCapi::SendQueued(TConnection *connection, int n)
{
    int sent = 0;
    TB3DataQueue &queue = connection->Queue;
    for (int i = 0; i < queue.Count() && sent < n; ++i) {
        TB3DataBlock &block = queue.Items(i);
        if (block.Sent)
            continue;
        if (!PutMessage(TDataB3Req(connection->NCCI, block.Data.constData(), block.DataLen, block.DataHandle,
                                   block.Flags))) {
            queue.Clear();
            break;
        }
        block.Sent = true;
        ++sent;
    }
    return sent;
}

bool TCapi::ContinueTransfer(TConnection *connection)
{
    if (!m_connections.Contains(connection))
        return false;
    connection->Sending = true;
    bool stop = false;
    bool success = true;
    if (connection->Queue.SentCount() == connection->Queue.Count()) {
        if (OnQueueEmpty)
            OnQueueEmpty(connection, stop, success);
        else
            stop = true;
    }
    bool filled = true;
    if (!stop) {
        const int k = std::max(0, int(m_maxBDataBlocks) - connection->Queue.SentCount());
        filled = SendQueued(connection, k) == k;
    }
    if (stop || !filled) {
        connection->Sending = false;
        if (OnTransferEnd)
            OnTransferEnd(connection, success && filled);
    }
    return true;
}

void TCapi::event(TConnection *connection, TCapiMessage &message, bool &respond)
{
    if (!OnMessage)
        return;
    // The owner's failure is its own: the engine still sends the responses and keeps the
    // connection table right (a connection left behind would catch the next call on its PLCI).
    try {
        OnMessage(connection, message, respond);
    } catch (const std::exception &e) {
        qCWarning(lcCapi) << "CAPI message handler failed:" << e.what();
    } catch (...) {
        qCWarning(lcCapi) << "CAPI message handler failed";
    }
}

void TCapi::DispatchReceived(const quint8 *received)
{
    // Nothing may leave a queued call into the event loop; a fault handling one message must not
    // stop the next.
    try {
        // The length field comes from the line: never believe it beyond the driver's buffer.
        const qsizetype length = qsizetype(received[0] | received[1] << 8);
        std::unique_ptr<TCapiMessage> message =
            DecodeCapiMessage(received, std::min(length, m_receiveBufferSize));
        if (message->Header.Subcommand == capiConf)
            HandleConfirmation(*message);
        else if (message->Header.Subcommand == capiInd)
            HandleIndication(*message);
    } catch (const std::exception &e) {
        qCWarning(lcCapi) << "Handling a CAPI message failed:" << e.what();
    } catch (...) {
        qCWarning(lcCapi) << "Handling a CAPI message failed";
    }
}

void TCapi::HandleIndication(TCapiMessage &message)
{
    m_error = 0;
    bool respond = true;
    TConnection *conn = nullptr;
    try {
        switch (message.Command()) {
        case capiConnectInd: {
            auto &m = dynamic_cast<TConnectInd &>(message);
            conn = m_connections.Add();
            conn->Direction = 2;
            conn->DisconnectInitiator = 0;
            conn->State = csCallPending;
            conn->SetPLCI(m.PLCI);
            event(conn, message, respond);
            break;
        }
        case capiConnectActiveInd: {
            auto &m = dynamic_cast<TConnectActiveInd &>(message);
            conn = m_connections.FindByPLCI(m.PLCI);
            if (!conn)
                break;
            conn->State = csCallActive;
            PutMessage(TConnectActiveResp(conn->PLCI));
            event(conn, message, respond);
            if (respond && conn->Direction == 1)
                PutMessage(TConnectB3Req(conn->PLCI));
            break;
        }
        case capiDisconnectInd: {
            auto &m = dynamic_cast<TDisconnectInd &>(message);
            conn = m_connections.FindByPLCI(m.PLCI);
            if (!conn) {
                PutMessage(TDisconnectResp(m.PLCI));
                break;
            }
            conn->State = csIdle;
            PutMessage(TDisconnectResp(conn->PLCI));
            event(conn, message, respond);
            if (m_connections.Contains(conn)) {
                if (conn->Sending && OnTransferEnd)
                    OnTransferEnd(conn, false);
                m_connections.Remove(conn);
            }
            if (OnReset && m_connections.Count() == 0 && m_thread)
                m_thread->RequestReset();
            break;
        }
        case capiInfoInd: {
            auto &m = dynamic_cast<TInfoInd &>(message);
            conn = m_connections.FindByPLCI(m.PLCI);
            PutMessage(TInfoResp(m.PLCI));
            event(conn, message, respond);
            break;
        }
        case capiFacilityInd: {
            auto &m = dynamic_cast<TFacilityInd &>(message);
            PutMessage(TFacilityResp(m.Identifier, m.FacilitySelector));
            event(nullptr, message, respond);
            break;
        }
        case capiConnectB3Ind: {
            auto &m = dynamic_cast<TConnectB3Ind &>(message);
            conn = m_connections.FindByPLCI(m.NCCI & 0xFFFF);
            if (!conn)
                break;
            conn->State = csB3Pending;
            conn->NCCI = m.NCCI;
            event(conn, message, respond);
            if (respond && m_connections.Contains(conn))
                PutMessage(TConnectB3Resp(conn->NCCI, 0));
            break;
        }
        case capiConnectB3ActiveInd: {
            auto &m = dynamic_cast<TConnectB3ActiveInd &>(message);
            conn = m_connections.FindByNCCI(m.NCCI);
            if (!conn)
                break;
            conn->State = csB3Active;
            PutMessage(TConnectB3ActiveResp(m.NCCI));
            event(conn, message, respond);
            break;
        }
        case capiDisconnectB3Ind: {
            auto &m = dynamic_cast<TDisconnectB3Ind &>(message);
            conn = m_connections.FindByNCCI(m.NCCI);
            if (!conn)
                break;
            conn->State = csB3Disconnected;
            if (conn->DisconnectInitiator == 0)
                conn->DisconnectInitiator = 2;
            PutMessage(TDisconnectB3Resp(conn->NCCI));
            event(conn, message, respond);
            // Clearing that began with DISCONNECT_B3_REQ goes on with the call itself; when
            // DISCONNECT_REQ already went out, this is only the B3 side of that request.
            if (respond && m_connections.Contains(conn) && conn->DisconnectInitiator == 1 &&
                !conn->DisconnectRequested) {
                conn->DisconnectRequested = true;
                PutMessage(TDisconnectReq(conn->PLCI));
            }
            break;
        }
        case capiDataB3Ind: {
            auto &m = dynamic_cast<TDataB3Ind &>(message);
            conn = m_connections.FindByNCCI(m.NCCI);
            if (!conn)
                break;
            event(conn, message, respond);
            if (respond && m_connections.Contains(conn))
                PutMessage(TDataB3Resp(conn->NCCI, m.DataHandle));
            break;
        }
        case capiResetB3Ind: {
            auto &m = dynamic_cast<TResetB3Ind &>(message);
            conn = m_connections.FindByNCCI(m.NCCI);
            PutMessage(TResetB3Resp(m.NCCI));
            event(conn, message, respond);
            break;
        }
        case capiConnectB3T90ActiveInd: {
            auto &m = dynamic_cast<TConnectB3T90ActiveInd &>(message);
            conn = m_connections.FindByNCCI(m.NCCI);
            PutMessage(TConnectB3T90ActiveResp(m.NCCI));
            event(conn, message, respond);
            break;
        }
        default:
            break;
        }
    } catch (const std::exception &e) {
        qCWarning(lcCapi) << "Exception while handling a CAPI indication:" << e.what();
    } catch (...) {
        qCWarning(lcCapi) << "Exception while handling a CAPI indication";
    }
}

void TCapi::HandleConfirmation(TCapiMessage &message)
{
    m_error = 0;
    bool respond = true;
    quint16 info = 0;
    if (auto *c = dynamic_cast<TCapiConfirmation *>(&message))
        info = c->Info;
    else if (auto *d = dynamic_cast<TDataB3Conf *>(&message))
        info = d->Info;
    else if (auto *f = dynamic_cast<TFacilityConf *>(&message))
        info = f->Info;
    const bool failed = info > 0xFF;
    if (failed)
        m_error = info;

    TConnection *conn = nullptr;
    switch (message.Command()) {
    case capiConnectConf: {
        auto &m = dynamic_cast<TConnectConf &>(message);
        conn = m_connections.FindByNumber(message.Header.MessageNumber);
        if (conn) {
            if (failed) {
                conn->State = csIdle;
            } else {
                conn->State = csCallPending;
                conn->SetPLCI(m.Identifier);
            }
        }
        event(conn, message, respond);
        if (failed && conn)
            m_connections.Remove(conn);
        break;
    }
    case capiAlertConf:
    case capiDisconnectConf:
    case capiInfoConf:
    case capiSelectBProtocolConf: {
        auto &m = dynamic_cast<TCapiConfirmation &>(message);
        event(m_connections.FindByPLCI(m.Identifier), message, respond);
        break;
    }
    case capiListenConf:
    case capiFacilityConf:
        event(nullptr, message, respond);
        break;
    case capiConnectB3Conf: {
        auto &m = dynamic_cast<TConnectB3Conf &>(message);
        conn = m_connections.FindByPLCI(m.Identifier & 0xFFFF);
        if (conn) {
            if (!failed) {
                conn->State = csB3Pending;
                conn->NCCI = m.Identifier;
            } else {
                conn->DisconnectRequested = true;
                PutMessage(TDisconnectReq(conn->PLCI));
                m_error = info; // keep the confirmation's failure visible to the owner
            }
        }
        event(conn, message, respond);
        break;
    }
    case capiDisconnectB3Conf: {
        auto &m = dynamic_cast<TDisconnectB3Conf &>(message);
        conn = m_connections.FindByNCCI(m.Identifier);
        if (conn)
            conn->State = csB3Disconnecting;
        event(conn, message, respond);
        break;
    }
    case capiDataB3Conf: {
        auto &m = dynamic_cast<TDataB3Conf &>(message);
        conn = m_connections.FindByNCCI(m.NCCI);
        event(conn, message, respond);
        if (conn && m_connections.Contains(conn)) {
            if (respond)
                conn->Queue.RemoveByHandle(m.DataHandle);
            if (conn->Sending)
                ContinueTransfer(conn);
        }
        break;
    }
    case capiResetB3Conf: {
        auto &m = dynamic_cast<TResetB3Conf &>(message);
        event(m_connections.FindByNCCI(m.Identifier), message, respond);
        break;
    }
    default:
        break;
    }
}
