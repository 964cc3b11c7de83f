#pragma once

// An in-process CAPI driver for engine and monitor tests: it records every message put to it,
// delivers messages the test queues, answers LISTEN_REQ with LISTEN_CONF as a real controller
// does, and can play a lost link or a driver whose wait never returns on its own.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include <QByteArray>
#include <QList>

#include "capi/capi_binding.h"

namespace capitest {

inline QByteArray le16(quint16 v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
    return b;
}
inline QByteArray le32(quint32 v)
{
    return le16(quint16(v & 0xFFFF)) + le16(quint16(v >> 16));
}
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}
inline QByteArray cstruct(const QByteArray &data)
{
    return char(data.size()) + data;
}

// A message with header (ApplID 1) and the given parameters.
inline QByteArray message(quint16 command, quint16 number, const QByteArray &parameters)
{
    return le16(quint16(8 + parameters.size())) + le16(1) + char(command >> 8) + char(command & 0xFF) +
           le16(number) + parameters;
}

inline quint16 commandOf(const QByteArray &m)
{
    return quint16(quint8(m.at(4)) << 8 | quint8(m.at(5)));
}
inline quint32 dwordAt(const QByteArray &m, int at)
{
    return quint32(quint8(m.at(at))) | quint32(quint8(m.at(at + 1))) << 8 |
           quint32(quint8(m.at(at + 2))) << 16 | quint32(quint8(m.at(at + 3))) << 24;
}
inline quint16 wordAt(const QByteArray &m, int at)
{
    return quint16(quint8(m.at(at)) | quint8(m.at(at + 1)) << 8);
}

class FakeCapiDriver final : public CapiDriverApi
{
public:
    // Behaviour, set before the engine registers.
    unsigned installedResult = 0;
    bool entryPointsComplete = true;
    unsigned registerResult = 0;
    unsigned applIdToGive = 7;
    bool answerListen = true;
    bool lostLink = false;           // wait says "ready" at once, fetch finds nothing
    bool waitIgnoresTimeout = false; // wait returns only when a message comes or release is called

    unsigned installed() override { return installedResult; }
    bool resolveEntryPoints() override { return entryPointsComplete; }

    unsigned registerApplication(unsigned messageBufferSize, unsigned maxLogicalConnection,
                                 unsigned maxBDataBlocks, unsigned maxBDataLen, unsigned *applId) override
    {
        std::lock_guard lock(m_mutex);
        registerArgs = {messageBufferSize, maxLogicalConnection, maxBDataBlocks, maxBDataLen};
        ++registerCalls;
        if (registerResult == 0)
            *applId = applIdToGive;
        return registerResult;
    }

    unsigned release(unsigned) override
    {
        std::lock_guard lock(m_mutex);
        ++releaseCalls;
        m_released = true;
        m_cv.notify_all();
        return 0;
    }

    unsigned putMessage(unsigned, unsigned char *msg) override
    {
        std::lock_guard lock(m_mutex);
        // The real library uses the whole buffer as its own send buffer (128 + 2048 bytes): touch
        // all of it, so that a smaller buffer shows up under the address sanitizer.
        const std::vector<unsigned char> whole(msg, msg + 128 + 2048);
        const quint16 length = quint16(whole[0] | whole[1] << 8);
        const QByteArray bytes(reinterpret_cast<const char *>(msg), length);
        if (putResult != 0)
            return putResult;
        m_sent.append(bytes);
        if (answerListen && commandOf(bytes) == 0x0580) {
            push(message(0x0581, wordAt(bytes, 6), bytes.mid(8, 4) + le16(listenInfo)));
            m_cv.notify_all();
        }
        m_cv.notify_all();
        return 0;
    }

    unsigned getMessage(unsigned, unsigned char **msg) override
    {
        std::lock_guard lock(m_mutex);
        ++getCalls;
        // The real library blocks here when nothing waits; count such fetches instead.
        if (!lostLink && m_queue.empty())
            ++emptyGetCalls;
        if (lostLink || m_queue.empty())
            return 0x1104;
        // The buffer stays valid until the next fetch, as the real library's does; it is exactly
        // as long as the message, so a read past the end shows up under the address sanitizer.
        m_current = std::move(m_queue.front());
        m_queue.pop_front();
        *msg = m_current.data();
        return 0;
    }

    unsigned waitForSignal(unsigned, int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        ++waitCalls;
        if (lostLink)
            return 0;
        const auto ready = [this] { return !m_queue.empty() || m_released; };
        if (waitIgnoresTimeout)
            m_cv.wait(lock, ready);
        else
            m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        return m_queue.empty() ? 0x1104 : 0;
    }

    unsigned char *getManufacturer(unsigned, unsigned char *b) override { return b; }
    unsigned char *getSerialNumber(unsigned, unsigned char *b) override { return b; }
    unsigned char *getVersion(unsigned, unsigned char *b) override { return b; }
    unsigned getProfile(unsigned, unsigned char *) override { return 0; }

    // Test side.
    void deliver(const QByteArray &m)
    {
        std::lock_guard lock(m_mutex);
        push(m);
        m_cv.notify_all();
    }
    QList<QByteArray> sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }
    int sentCount() const
    {
        std::lock_guard lock(m_mutex);
        return int(m_sent.size());
    }
    // Sent messages with this command word.
    QList<QByteArray> sent(quint16 command) const
    {
        QList<QByteArray> result;
        for (const QByteArray &m : sent())
            if (commandOf(m) == command)
                result.append(m);
        return result;
    }
    void setPutResult(unsigned r)
    {
        std::lock_guard lock(m_mutex);
        putResult = r;
    }
    void setLostLink(bool on)
    {
        std::lock_guard lock(m_mutex);
        lostLink = on;
    }
    int gets() const
    {
        std::lock_guard lock(m_mutex);
        return getCalls;
    }
    // Fetches while no message waited and the link was up: a real driver would have blocked.
    int emptyGets() const
    {
        std::lock_guard lock(m_mutex);
        return emptyGetCalls;
    }
    int waits() const
    {
        std::lock_guard lock(m_mutex);
        return waitCalls;
    }
    int releases() const
    {
        std::lock_guard lock(m_mutex);
        return releaseCalls;
    }

    std::vector<unsigned> registerArgs;
    int registerCalls = 0;
    quint16 listenInfo = 0;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    // Plain byte copies: nothing is shared with the test thread's byte arrays.
    void push(const QByteArray &m) { m_queue.emplace_back(m.constBegin(), m.constEnd()); }

    std::deque<std::vector<unsigned char>> m_queue;
    std::vector<unsigned char> m_current;
    QList<QByteArray> m_sent;
    unsigned putResult = 0;
    int releaseCalls = 0;
    int getCalls = 0;
    int emptyGetCalls = 0;
    int waitCalls = 0;
    bool m_released = false;
};

} // namespace capitest
