#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <mutex>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define KESSVENN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESSVENN_THREAD_SANITIZER 1
#endif
#endif

namespace HandOver {

#ifdef KESSVENN_THREAD_SANITIZER
// Qt's post of an event or a thread pool's queue orders a job after what its sender did before;
// Debian's Qt is built without ThreadSanitizer, which does not see that order (a futex inside Qt)
// and would take every value the job carries for a race. Under ThreadSanitizer the hand-over
// passes this lock too.
inline std::mutex& gate()
{
    static std::mutex passage;
    return passage;
}
#endif

// Runs `job` on the thread of `receiver`, from its event loop, after what was posted there before.
template <typename Job> void post(QObject* receiver, Job&& job)
{
#ifdef KESSVENN_THREAD_SANITIZER
    const std::lock_guard posting(gate());
    QMetaObject::invokeMethod(
        receiver,
        [job = std::forward<Job>(job)]() mutable {
            {
                const std::lock_guard taken(gate());
            }
            job();
        },
        Qt::QueuedConnection);
#else
    QMetaObject::invokeMethod(receiver, std::forward<Job>(job), Qt::QueuedConnection);
#endif
}

// Runs `job` on a thread of `pool`, after what was started there before.
template <typename Job> void start(QThreadPool& pool, Job&& job)
{
#ifdef KESSVENN_THREAD_SANITIZER
    const std::lock_guard starting(gate());
    pool.start([job = std::forward<Job>(job)]() mutable {
        {
            const std::lock_guard taken(gate());
        }
        job();
    });
#else
    pool.start(std::forward<Job>(job));
#endif
}

} // namespace HandOver
