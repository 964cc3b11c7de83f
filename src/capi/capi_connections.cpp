#include "capi/capi_connections.h"

#include <algorithm>

int TB3DataQueue::SentCount() const
{
    return int(std::count_if(m_blocks.begin(), m_blocks.end(), [](const auto &b) { return b->Sent; }));
}

void TB3DataQueue::Append(quint16 dataHandle, const QByteArray &data, quint16 flags)
{
    auto block = std::make_unique<TB3DataBlock>();
    block->DataHandle = dataHandle;
    block->Data = data.left(0xFFFF);
    block->DataLen = quint16(block->Data.size());
    block->Flags = flags;
    m_blocks.push_back(std::move(block));
}

void TB3DataQueue::RemoveByHandle(quint16 dataHandle)
{
    const auto it = std::find_if(m_blocks.begin(), m_blocks.end(),
                                 [dataHandle](const auto &b) { return b->DataHandle == dataHandle; });
    if (it != m_blocks.end())
        m_blocks.erase(it);
}

TConnection *TConnections::Add()
{
    int largest = 0;
    for (const auto &c : m_items)
        largest = std::max(largest, c->Number);
    auto connection = std::make_unique<TConnection>();
    connection->Number = largest >= 0x7FFFFFFE ? 1 : largest + 1;
    m_items.push_back(std::move(connection));
    return m_items.back().get();
}

void TConnections::Remove(TConnection *&connection)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(),
                                 [connection](const auto &c) { return c.get() == connection; });
    if (it == m_items.end())
        return;
    m_items.erase(it);
    connection = nullptr;
}

bool TConnections::Contains(TConnection *&connection) const
{
    const bool found = connection && find([connection](const TConnection &c) { return &c == connection; });
    if (!found)
        connection = nullptr;
    return found;
}

template <typename Pred> TConnection *TConnections::find(Pred pred) const
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&pred](const auto &c) { return pred(*c); });
    return it == m_items.end() ? nullptr : it->get();
}

TConnection *TConnections::FindByPLCI(quint32 plci) const
{
    return find([plci](const TConnection &c) { return c.PLCI == plci; });
}

TConnection *TConnections::FindByNCCI(quint32 ncci) const
{
    return find([ncci](const TConnection &c) { return c.NCCI == ncci; });
}

TConnection *TConnections::FindByNumber(int number) const
{
    return find([number](const TConnection &c) { return c.Number == number; });
}

TConnection *TConnections::FindByOwner(const void *owner) const
{
    return find([owner](const TConnection &c) { return c.Owner == owner; });
}
