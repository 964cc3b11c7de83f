#pragma once

// An in-process CAPI driver for engine and monitor tests: it records every message put to it,
// delivers messages the test queues, answers LISTEN_REQ with LISTEN_CONF as a real controller
// does, and can play a lost link or a driver whose wait never returns on its own.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
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
        m_maxBDataLen = maxBDataLen;
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
        // Like the real library, the message goes into a receive buffer of its own, valid until
        // the next fetch and cut to the buffer's size. The buffer ends at an inaccessible page,
        // so reading past it crashes in every build.
        const std::vector<unsigned char> next = std::move(m_queue.front());
        m_queue.pop_front();
        const size_t size = size_t(receiveBufferSize(m_maxBDataLen));
        if (!m_buffer || m_buffer->size != size)
            m_buffer = std::make_unique<GuardedBuffer>(size);
        std::fill(m_buffer->data, m_buffer->data + size, 0);
        std::copy(next.begin(), next.begin() + std::min(next.size(), size), m_buffer->data);
        *msg = m_buffer->data;
        return 0;
    }

    qsizetype receiveBufferSize(unsigned maxBDataLen) const override
    {
        return std::max<qsizetype>(2048, 128 + qsizetype(maxBDataLen));
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

    // size bytes directly in front of a page that may not be touched.
    struct GuardedBuffer
    {
        explicit GuardedBuffer(size_t bytes) : size(bytes)
        {
            const size_t page = size_t(sysconf(_SC_PAGESIZE));
            const size_t pages = (bytes + page - 1) / page;
            length = (pages + 1) * page;
            void *base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (base == MAP_FAILED)
                throw std::bad_alloc();
            mapping = static_cast<unsigned char *>(base);
            mprotect(mapping + pages * page, page, PROT_NONE);
            data = mapping + pages * page - bytes;
        }
        ~GuardedBuffer() { munmap(mapping, length); }
        GuardedBuffer(const GuardedBuffer &) = delete;
        GuardedBuffer &operator=(const GuardedBuffer &) = delete;

        size_t size = 0;
        size_t length = 0;
        unsigned char *mapping = nullptr;
        unsigned char *data = nullptr;
    };

    std::deque<std::vector<unsigned char>> m_queue;
    std::unique_ptr<GuardedBuffer> m_buffer;
    unsigned m_maxBDataLen = 0;
    QList<QByteArray> m_sent;
    unsigned putResult = 0;
    int releaseCalls = 0;
    int getCalls = 0;
    int emptyGetCalls = 0;
    int waitCalls = 0;
    bool m_released = false;
};

} // namespace capitest
