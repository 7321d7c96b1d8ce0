#pragma once

#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QAtomicInt>
#include <QHash>

#include <set>
#include <utility>
#include <vector>

class QSocketNotifier;

// The event dispatcher of the host's thread: Qt's own, but for its timers.
// Qt's dispatchers keep a thread's timers in one list in order of expiry and
// walk it whenever a timer is started, stopped or fired again; with thousands
// of listening wrenches in one thread, two timers each, those walks cost more
// than everything the listeners do. Here the timers are found by identifier
// in a hash and kept in order of expiry in a balanced tree. A precise timer
// never fires early; a coarse one (and a very coarse one) may fire up to 5 %
// of its interval early, at most 15 ms, so that timers due close together
// fire on one wake-up of the thread, as Qt's coarse timers do. At most 16
// fire in one pass; the events they post are delivered before the next ones
// fire. Socket notifiers are polled as Qt's dispatcher polls them; wakeUp()
// and interrupt() may be called from any thread.
//
// For a console program: set it with QCoreApplication::setEventDispatcher()
// before the QCoreApplication is made. A GUI application's dispatcher also
// delivers the window system's events, which this one does not.
class DEventDispatcher : public QAbstractEventDispatcher {
    Q_OBJECT

public:
    explicit DEventDispatcher(QObject* parent = nullptr);
    ~DEventDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    bool hasPendingEvents() override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timerId, int interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;
    void flush() override;

private:
    struct Timer {
        QObject* object = nullptr;
        qint64 dueNs = 0;
        int intervalMs = 0;
        Qt::TimerType type = Qt::CoarseTimer;
        // How early it may fire.
        qint64 earlyNs = 0;
        // Its event is being delivered: it is not sent again from within.
        bool firing = false;
    };
    struct Notifiers {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
        QSocketNotifier* exception = nullptr;
    };

    static qint64 nowNs();
    void schedule(int timerId, Timer& timer, qint64 dueNs);
    int nextTimerMs() const;
    int waitAndActivateNotifiers(int timeoutMs, bool includeNotifiers);
    void markPendingNotifiers(const std::vector<pollfd>& fds);
    int activateTimers();
    void clearWakeUp();

    QHash<int, Timer> m_timers;
    std::set<std::pair<qint64, int>> m_timerQueue;
    // Kept from turn to turn, so that a turn allocates nothing.
    std::vector<int> m_dueTimerIds;
    std::vector<pollfd> m_pollFds;
    QHash<int, Notifiers> m_notifiers;
    // Notifiers whose socket is ready, in the order they are to hear of it.
    std::vector<QSocketNotifier*> m_pendingNotifiers;
    int m_wakeUpFd = -1;
    QAtomicInt m_wakeUpPending;
    QAtomicInt m_interrupted;
};
