#pragma once

#include <QDateTime>
#include <QElapsedTimer>

// The local time, read anew at most every kFreshMs: a burst of thousands of messages takes its time
// of day without asking the time zone for each one (the C library looks at /etc/localtime on every
// reading of the local time). A reading is at most kFreshMs old.
class CoarseClock {
public:
    static constexpr qint64 kFreshMs = 100;

    QDateTime operator()() const
    {
        if (!m_read.isValid() || m_read.elapsed() >= kFreshMs) {
            m_now = QDateTime::currentDateTime();
            m_read.start();
        }
        return m_now;
    }

private:
    mutable QElapsedTimer m_read;
    mutable QDateTime m_now;
};
