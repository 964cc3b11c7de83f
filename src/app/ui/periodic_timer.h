#pragma once

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <limits>

// A timer that is switched on and off independently of its interval and never fires while the
// interval is 0, so "enabled with interval 0" means "waits for ever" rather than "fires at once
// in a loop". Changing the interval of an enabled timer starts its period anew.
class PeriodicTimer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PeriodicTimer)

public:
    explicit PeriodicTimer(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, &PeriodicTimer::timeout);
    }

    // Seconds as an interval in milliseconds, held to what the timer can take.
    static int secondsToInterval(qint64 seconds)
    {
        return int(std::clamp<qint64>(seconds, 0, std::numeric_limits<int>::max() / 1000) * 1000);
    }

    int interval() const { return m_interval; }
    bool isEnabled() const { return m_enabled; }
    // True while the timer will actually fire.
    bool isRunning() const { return m_timer.isActive(); }

    void setInterval(int ms)
    {
        m_interval = qMax(0, ms);
        apply();
    }
    void setEnabled(bool on)
    {
        m_enabled = on;
        apply();
    }

signals:
    void timeout();

private:
    void apply()
    {
        if (m_enabled && m_interval > 0)
            m_timer.start(m_interval);
        else
            m_timer.stop();
    }

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};
