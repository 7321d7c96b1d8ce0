#pragma once

#include "i_command.h"
#include "i_messenger.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QUuid>
#include <QVariantMap>

#include <set>
#include <utility>

class DAbstractCommand;
class DAbstractPlugin;
class QTimer;

// Carries instructions between plug-ins. An instruction is a run of a command
// of the target plug-in, made from its prototype with the instruction's
// arguments and executed at once. Every result update of that run becomes one
// reply (the run's results so far), queued on the event loop for the caller's
// callback.
//
// - Targets: "myself" is the caller's own plug-in, "driver" the driver plug-in
//   bound to it. Anything else, or an unknown command, is refused with 0.
// - A run whose command is recurrent stands until it is stopped; any other run
//   ends with the event-loop turn of its first reply, or when its timeout (ms,
//   > 0) passes without one.
// - Identifiers start at 1 and are never reused; 0 means none.
// - A reply never reaches a caller that was destroyed or whose instruction has
//   ended; ending an instruction finishes its run.
// - A backend sends without a target: its instruction goes to the driver of
//   the plug-in instance that it names by instance UUID.
class DInstructionRouter : public QObject {
    Q_OBJECT

public:
    static DInstructionRouter& instance();

    quint64 addInstruction(QObject* caller, DAbstractPlugin* callerPlugin, const QString& target,
                           const QString& instruction, const QVariantMap& arguments, int timeout,
                           const DReplyDelegate& callback);
    // The instruction of a backend: to the driver of the living plug-in instance
    // whose objectUuid() is objectUuid. Refused like addInstruction's "driver".
    quint64 addDriverInstruction(QObject* caller, const QUuid& objectUuid,
                                 const QString& instruction, const QVariantMap& arguments,
                                 int timeout, const DReplyDelegate& callback);
    bool stopTheInstruction(QObject* caller, quint64 instructionId);

    // The living plug-in instance with that instance UUID (the first made, if
    // several share it); none for the null UUID.
    DAbstractPlugin* findPlugin(const QUuid& objectUuid) const;

    // Ends every instruction that caller holds.
    void releaseCaller(QObject* caller);
    // Ends every instruction served by a run of the plug-in's commands.
    void releasePlugin(DAbstractPlugin* plugin);

    bool isStanding(quint64 instructionId) const;
    int instructionCount() const;

signals:
    void sigInstructionAdded(quint64 instructionId, DAbstractPlugin* target,
                             const QString& instruction, const QVariantMap& arguments, int timeout);
    void sigInstructionRefused(const QString& target, const QString& instruction,
                               IMessenger::EnErrorCode error);
    void sigInstructionEnded(quint64 instructionId);

private:
    friend class DAbstractCommand;
    friend class DAbstractPlugin;

    struct Instruction {
        QObject* callerKey = nullptr;
        QPointer<QObject> caller;
        DReplyDelegate callback;
        QSharedPointer<ICommand> run;
        DAbstractCommand* runObject = nullptr;
        DAbstractPlugin* target = nullptr;
        // When the run ends unanswered (ms on m_clock); 0: never.
        qint64 deadlineMs = 0;
        bool standing = false;
        bool answered = false;
    };

    DInstructionRouter();
    ~DInstructionRouter() override;

    // Every DAbstractPlugin is known while it lives.
    void registerPlugin(DAbstractPlugin* plugin);
    void unregisterPlugin(DAbstractPlugin* plugin);
    void watchCaller(QObject* caller);
    DAbstractPlugin* resolveTarget(DAbstractPlugin* callerPlugin, const QString& target) const;
    void queueReply(quint64 instructionId, const QVariantMap& reply);
    void deliver(quint64 instructionId, const QVariantMap& reply);
    void endInstruction(quint64 instructionId);
    void addDeadline(Instruction& entry, quint64 instructionId, qint64 deadlineMs);
    void armTimeoutTimer(qint64 deadlineMs);
    void endOverdueInstructions();

    QHash<quint64, Instruction> m_instructions;
    // The identifiers each caller holds, so that releasing a caller does not
    // walk every standing instruction.
    QMultiHash<QObject*, quint64> m_heldByCaller;
    // And those each plug-in serves, so that releasing a plug-in does not.
    QMultiHash<DAbstractPlugin*, quint64> m_servedByPlugin;
    // The deadlines of the unanswered runs, soonest first, and one timer for
    // all of them, due at or before the soonest: a Qt timer each would be
    // registered and unregistered with the event dispatcher for every "write",
    // whose cost grows with the number of timers in the thread.
    std::set<std::pair<qint64, quint64>> m_deadlines;
    QElapsedTimer m_clock;
    QTimer* m_timeoutTimer = nullptr;
    qint64 m_armedDeadlineMs = 0;
    QList<DAbstractPlugin*> m_plugins;
    quint64 m_lastId = 0;
};
