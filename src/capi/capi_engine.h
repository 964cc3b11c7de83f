#pragma once

// One CAPI 2.0 application: registration with the driver, a receiving thread that hands every
// message synchronously to the thread that created the engine (the user-interface thread), the
// connection table, and the standard responses CAPI 2.0 requires. The owner decides how calls
// are answered through OnMessage. Everything except waiting for and fetching messages runs on
// the creating thread, so the connection table needs no lock.
//
// An engine must not be destroyed from inside its own OnMessage; OnReset may destroy it.

#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "capi/capi_connections.h"
#include "capi/capi_message.h"

class CapiDriverApi;
class TCapiCallBack;
class CapiNotifier;

class TCapi
{
public:
    // Registers at once; the constructor never fails, read Error() afterwards.
    TCapi(quint32 maxLogicalConnection, quint32 maxBDataBlocks, quint32 maxBDataLen);
    ~TCapi();
    TCapi(const TCapi &) = delete;
    TCapi &operator=(const TCapi &) = delete;

    quint32 ApplID() const { return m_applId; }
    bool Registered() const { return m_registered; }
    // 0, a CAPI Info value, or 0x9000 + the driver binding state.
    quint32 Error() const { return m_error; }
    QString ErrorText() const;
    TConnections &Connections() { return m_connections; }
    quint32 MaxLogicalConnection() const { return m_maxLogicalConnection; }
    quint32 MaxBDataBlocks() const { return m_maxBDataBlocks; }
    quint32 MaxBDataLen() const { return m_maxBDataLen; }

    std::function<void(TConnection *connection, TCapiMessage &message, bool &Respond)> OnMessage;
    std::function<void(TConnection *connection, bool &stop, bool &success)> OnQueueEmpty;
    std::function<void(TConnection *connection, bool success)> OnTransferEnd;
    std::function<void(TCapi *sender)> OnReset;

    // Sends and releases the message; false (and Error set) when the driver refused it.
    bool PutMessage(TCapiMessage &&message);
    bool Disconnect(TConnection *connection);
    int SendQueued(TConnection *connection, int n);
    bool ContinueTransfer(TConnection *connection);

private:
    friend class CapiNotifier;
    friend class TCapiCallBack;

    void Register();
    void Release();
    void DispatchReceived(const quint8 *received);
    void HandleIndication(TCapiMessage &message);
    void HandleConfirmation(TCapiMessage &message);
    void event(TConnection *connection, TCapiMessage &message, bool &respond);

    quint32 m_applId = 0;
    bool m_registered = false;
    quint32 m_error = 0;
    quint32 m_maxLogicalConnection;
    quint32 m_maxBDataBlocks;
    quint32 m_maxBDataLen;
    TConnections m_connections;
    std::shared_ptr<CapiDriverApi> m_driver;
    std::unique_ptr<TCapiCallBack> m_thread;
    CapiNotifier *m_notifyWindow = nullptr;
    std::vector<quint8> m_sendBuffer;
    qsizetype m_receiveBufferSize = 0; // bytes readable at a received message
};
