#pragma once

// The engine's table of connections (one per call, found by PLCI, NCCI, number or owner) and
// each connection's queue of B3 data blocks to send.

#include <memory>
#include <vector>

#include <QByteArray>

// Connection states; single bits.
enum TConnectionState : quint16
{
    csIdle = 0,
    csCallPending = 1,
    csCallActive = 2,
    csB3Pending = 4,
    csB3Active = 8,
    csB3Disconnecting = 16,
    csB3Disconnected = 32,
};

struct TB3DataBlock
{
    quint16 DataHandle = 0;
    quint16 DataLen = 0;
    QByteArray Data; // owned; its address goes into DATA_B3_REQ and must stay put until confirmed
    quint16 Flags = 0;
    bool Sent = false;
};

class TB3DataQueue
{
public:
    int Count() const { return int(m_blocks.size()); }
    TB3DataBlock &Items(int index) { return *m_blocks.at(size_t(index)); }
    int SentCount() const;
    // Appends a block to send (at most 0xFFFF bytes are kept).
    void Append(quint16 dataHandle, const QByteArray &data, quint16 flags = 0);
    // Frees the first block with this handle; nothing when there is none.
    void RemoveByHandle(quint16 dataHandle);
    void Clear() { m_blocks.clear(); }

private:
    std::vector<std::unique_ptr<TB3DataBlock>> m_blocks;
};

class TConnection
{
public:
    int Number = 0;
    quint32 PLCI = 0;
    quint32 ControllerNumber = 0;
    const void *Owner = nullptr;
    quint16 Direction = 0;           // 1 outgoing, 2 incoming
    quint16 DisconnectInitiator = 0; // 0 none yet, 1 this side, 2 remote side
    quint16 State = csIdle;
    quint32 NCCI = 0;
    TB3DataQueue Queue;
    bool Sending = false;
    // DISCONNECT_REQ has gone out for this PLCI; a second one would only be refused by the
    // driver (the PLCI is already being cleared).
    bool DisconnectRequested = false;

    void SetPLCI(quint32 plci)
    {
        PLCI = plci;
        ControllerNumber = plci & 0xFF;
    }
};

class TConnections
{
public:
    // A new connection numbered one above the largest number (1 for an empty list, and 1 again
    // after 0x7FFFFFFE), appended and returned.
    TConnection *Add();
    // Frees the connection if it is in the list and clears the reference.
    void Remove(TConnection *&connection);
    // True if in the list; otherwise clears the reference.
    bool Contains(TConnection *&connection) const;
    TConnection *FindByPLCI(quint32 plci) const;
    TConnection *FindByNCCI(quint32 ncci) const;
    TConnection *FindByNumber(int number) const;
    TConnection *FindByOwner(const void *owner) const;
    int Count() const { return int(m_items.size()); }
    TConnection *Items(int index) const { return m_items.at(size_t(index)).get(); }
    void Clear() { m_items.clear(); }

private:
    template <typename Pred> TConnection *find(Pred pred) const;
    std::vector<std::unique_ptr<TConnection>> m_items;
};
