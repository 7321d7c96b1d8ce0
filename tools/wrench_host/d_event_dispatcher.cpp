#include "d_event_dispatcher.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <sys/eventfd.h>

namespace {

constexpr qint64 nsPerMs = 1000 * 1000;
// A coarse timer fires up to 5 % of its interval early, at most this much, so
// that timers due close together are fired on one wake-up of the thread.
constexpr qint64 maxEarlyNs = 15 * nsPerMs;
// Timers fired in one pass at most; the rest fire on the next pass, without
// a wait. The events that a handler posts (a write's reply, a wrench's
// answer) are delivered in between: with thousands of timers due at once,
// their work piled up unanswered, far beyond what the allocator and the
// caches hold.
constexpr int maxTimersPerPass = 16;

qint64 earlyNs(int intervalMs, Qt::TimerType type) {
    return type == Qt::PreciseTimer ? 0 : qMin(intervalMs * nsPerMs / 20, maxEarlyNs);
}

} // namespace

DEventDispatcher::DEventDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent)
    , m_wakeUpFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_wakeUpFd < 0) {
        qFatal("DEventDispatcher: no eventfd for waking up the thread");
    }
}

DEventDispatcher::~DEventDispatcher() {
    close(m_wakeUpFd);
}

qint64 DEventDispatcher::nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 * nsPerMs + now.tv_nsec;
}

// As Qt's own dispatcher: posted events first, then a wait for the line
// devices, a wake-up or the next timer, then the notifiers and timers due.
bool DEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    m_interrupted.storeRelaxed(0);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool includeTimers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool canWait = (flags & QEventLoop::WaitForMoreEvents) && !m_interrupted.loadRelaxed();
    if (canWait) {
        emit aboutToBlock();
    }
    if (m_interrupted.loadRelaxed()) {
        return false;
    }
    const int timeoutMs = !canWait ? 0 : includeTimers ? nextTimerMs() : -1;
    int events = waitAndActivateNotifiers(timeoutMs, !(flags & QEventLoop::ExcludeSocketNotifiers));
    if (includeTimers) {
        events += activateTimers();
    }
    return events > 0;
}

// A posted event always wakes the thread up.
bool DEventDispatcher::hasPendingEvents() {
    return m_wakeUpPending.loadAcquire() != 0;
}

void DEventDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    Notifiers& notifiers = m_notifiers[int(notifier->socket())];
    switch (notifier->type()) {
    case QSocketNotifier::Read:
        notifiers.read = notifier;
        break;
    case QSocketNotifier::Write:
        notifiers.write = notifier;
        break;
    case QSocketNotifier::Exception:
        notifiers.exception = notifier;
        break;
    }
}

void DEventDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    m_pendingNotifiers.erase(
        std::remove(m_pendingNotifiers.begin(), m_pendingNotifiers.end(), notifier),
        m_pendingNotifiers.end());
    const auto found = m_notifiers.find(int(notifier->socket()));
    if (found == m_notifiers.end()) {
        return;
    }
    for (QSocketNotifier** slot : {&found->read, &found->write, &found->exception}) {
        if (*slot == notifier) {
            *slot = nullptr;
        }
    }
    if (!found->read && !found->write && !found->exception) {
        m_notifiers.erase(found);
    }
}

void DEventDispatcher::registerTimer(int timerId, int interval, Qt::TimerType timerType,
                                     QObject* object) {
    Timer& timer = m_timers[timerId];
    timer.object = object;
    timer.intervalMs = qMax(interval, 0);
    timer.type = timerType;
    timer.earlyNs = earlyNs(timer.intervalMs, timerType);
    schedule(timerId, timer, nowNs() + timer.intervalMs * nsPerMs);
}

bool DEventDispatcher::unregisterTimer(int timerId) {
    const auto found = m_timers.find(timerId);
    if (found == m_timers.end()) {
        return false;
    }
    m_timerQueue.erase({found->dueNs, timerId});
    m_timers.erase(found);
    return true;
}

// Seldom called: QTimer stops its own timer, and an object's destructor asks
// only while it still has timers running.
bool DEventDispatcher::unregisterTimers(QObject* object) {
    bool any = false;
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->object == object) {
            m_timerQueue.erase({it->dueNs, it.key()});
            it = m_timers.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo>
DEventDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> timers;
    for (auto it = m_timers.constBegin(); it != m_timers.constEnd(); ++it) {
        if (it->object == object) {
            timers.append(TimerInfo(it.key(), it->intervalMs, it->type));
        }
    }
    return timers;
}

int DEventDispatcher::remainingTime(int timerId) {
    const auto found = m_timers.constFind(timerId);
    if (found == m_timers.constEnd()) {
        return -1;
    }
    return int(qMax((found->dueNs - nowNs() + nsPerMs - 1) / nsPerMs, qint64(0)));
}

void DEventDispatcher::wakeUp() {
    if (m_wakeUpPending.testAndSetAcquire(0, 1)) {
        const quint64 one = 1;
        const ssize_t written = ::write(m_wakeUpFd, &one, sizeof one);
        Q_UNUSED(written);
    }
}

void DEventDispatcher::interrupt() {
    m_interrupted.storeRelaxed(1);
    wakeUp();
}

void DEventDispatcher::flush() {}

void DEventDispatcher::schedule(int timerId, Timer& timer, qint64 dueNs) {
    if (timer.dueNs != 0) {
        m_timerQueue.erase({timer.dueNs, timerId});
    }
    timer.dueNs = dueNs;
    m_timerQueue.emplace(dueNs, timerId);
}

// Until the next timer is due, rounded up to a whole millisecond. A timer
// whose event is being delivered is not waited for: a zero timer running a
// nested event loop would keep that loop from ever sleeping.
int DEventDispatcher::nextTimerMs() const {
    for (const auto& [dueNs, timerId] : m_timerQueue) {
        if (!m_timers.value(timerId).firing) {
            const qint64 leftNs = dueNs - nowNs();
            return int(qBound(qint64(0), (leftNs + nsPerMs - 1) / nsPerMs, qint64(INT_MAX)));
        }
    }
    return -1;
}

int DEventDispatcher::waitAndActivateNotifiers(int timeoutMs, bool includeNotifiers) {
    std::vector<pollfd>& fds = m_pollFds;
    fds.clear();
    if (includeNotifiers) {
        for (auto it = m_notifiers.constBegin(); it != m_notifiers.constEnd(); ++it) {
            const short events = short((it->read ? POLLIN : 0) | (it->write ? POLLOUT : 0) |
                                       (it->exception ? POLLPRI : 0));
            fds.push_back({it.key(), events, 0});
        }
    }
    fds.push_back({m_wakeUpFd, POLLIN, 0});
    if (::poll(fds.data(), nfds_t(fds.size()), timeoutMs) <= 0) {
        return 0;
    }
    int events = 0;
    if (fds.back().revents & POLLIN) {
        clearWakeUp();
        ++events;
    }
    fds.pop_back();
    markPendingNotifiers(fds);
    QEvent event(QEvent::SockAct);
    while (!m_pendingNotifiers.empty()) {
        QSocketNotifier* notifier = m_pendingNotifiers.front();
        m_pendingNotifiers.erase(m_pendingNotifiers.begin());
        QCoreApplication::sendEvent(notifier, &event);
        ++events;
    }
    return events;
}

void DEventDispatcher::markPendingNotifiers(const std::vector<pollfd>& fds) {
    std::vector<QSocketNotifier*> invalid;
    for (const pollfd& fd : fds) {
        const auto found = m_notifiers.constFind(fd.fd);
        if (fd.revents == 0 || found == m_notifiers.constEnd()) {
            continue;
        }
        const std::pair<QSocketNotifier*, short> kinds[] = {
            {found->read, POLLIN | POLLHUP | POLLERR},
            {found->write, POLLOUT | POLLHUP | POLLERR},
            {found->exception, POLLPRI | POLLHUP | POLLERR},
        };
        for (const auto& [notifier, mask] : kinds) {
            if (!notifier) {
                continue;
            }
            if (fd.revents & POLLNVAL) {
                invalid.push_back(notifier);
            } else if ((fd.revents & mask) &&
                       std::find(m_pendingNotifiers.begin(), m_pendingNotifiers.end(), notifier) ==
                           m_pendingNotifiers.end()) {
                m_pendingNotifiers.push_back(notifier);
            }
        }
    }
    for (QSocketNotifier* notifier : invalid) {
        qWarning("DEventDispatcher: invalid socket %d, its notifier is disabled",
                 int(notifier->socket()));
        notifier->setEnabled(false);
    }
}

// The timers due now, soonest first (a coarse one a little early), at most
// maxTimersPerPass of them, each once: a timer started or due again while
// they fire waits for the next pass, and a timer whose event is still being
// delivered (a nested event loop) is not sent another.
int DEventDispatcher::activateTimers() {
    if (m_timerQueue.empty()) {
        return 0;
    }
    const qint64 now = nowNs();
    // Swapped out: a nested event loop in a timer's handler fills its own.
    std::vector<int> dueIds;
    dueIds.swap(m_dueTimerIds);
    dueIds.clear();
    for (auto it = m_timerQueue.begin();
         it != m_timerQueue.end() && it->first <= now + maxEarlyNs &&
         int(dueIds.size()) < maxTimersPerPass;
         ++it) {
        const auto timer = m_timers.constFind(it->second);
        if (timer != m_timers.constEnd() && it->first - timer->earlyNs <= now && !timer->firing) {
            dueIds.push_back(it->second);
        }
    }
    int fired = 0;
    for (const int timerId : dueIds) {
        const auto found = m_timers.find(timerId);
        if (found == m_timers.end() || found->dueNs - found->earlyNs > now || found->firing) {
            continue;
        }
        const qint64 intervalNs = found->intervalMs * nsPerMs;
        const qint64 next = found->dueNs + intervalNs;
        schedule(timerId, *found, next < now ? now + intervalNs : next);
        found->firing = true;
        QTimerEvent event(timerId);
        QCoreApplication::sendEvent(found->object, &event);
        ++fired;
        const auto after = m_timers.find(timerId);
        if (after != m_timers.end()) {
            after->firing = false;
        }
    }
    dueIds.swap(m_dueTimerIds);
    return fired;
}

void DEventDispatcher::clearWakeUp() {
    quint64 count = 0;
    const ssize_t read = ::read(m_wakeUpFd, &count, sizeof count);
    Q_UNUSED(read);
    m_wakeUpPending.storeRelease(0);
}
