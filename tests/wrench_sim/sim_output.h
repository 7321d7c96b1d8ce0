#pragma once

#include <d_sim_wrench.h>

#include <QByteArray>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QTimer>

// Everything a wrench emits, chunk by chunk.
struct SimOutput {
    explicit SimOutput(DSimWrench* wrench) {
        QObject::connect(wrench, &DSimWrench::output,
                         [this](const QByteArray& bytes) { chunks.append(bytes); });
    }

    QByteArray all() const { return chunks.join(); }

    QList<QByteArray> chunks;
};

// Runs the event loop until done() holds, checked after each output of the
// wrench, or the time is up. The wrench sends one chunk per turn of the loop,
// so this does not poll.
template <class Done>
bool waitForOutput(DSimWrench* wrench, Done done, int timeoutMs = 10000) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QObject::connect(wrench, &DSimWrench::output, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Until the wrench has sent all it queued.
inline bool settle(DSimWrench* wrench, int timeoutMs = 10000) {
    return waitForOutput(
        wrench, [wrench] { return !wrench->hasPendingOutput(); }, timeoutMs);
}

// Feeds each write to the wrench, checks that nothing is emitted inside
// receive(), and waits until the wrench has sent all it queued.
inline bool feed(DSimWrench* wrench, const SimOutput& output, const QList<QByteArray>& writes) {
    for (const QByteArray& bytes : writes) {
        const int before = output.chunks.size();
        wrench->receive(bytes);
        if (output.chunks.size() != before) {
            return false;
        }
    }
    return settle(wrench);
}
