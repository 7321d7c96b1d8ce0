#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a signal on the event loop (a self-pipe read
// by a QSocketNotifier). After the first, the default action is back in
// place: a second Ctrl-C ends the program at once.
class DSignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit DSignalWatcher(QObject* parent = nullptr);
    ~DSignalWatcher() override;

    bool isWatching() const;
    bool wasRequested() const;

signals:
    void sigTerminationRequested();

private:
    static void onSignal(int signalNumber);
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
    bool m_requested = false;
};
