#include "d_instruction_router.h"

#include "d_abstract_command.h"
#include "d_abstract_plugin.h"

#include <QTimer>

#include <algorithm>

DInstructionRouter& DInstructionRouter::instance() {
    // Never destroyed: plug-in objects that outlive main() (a library's root
    // instance, deleted when the library unloads) still release through it.
    static auto* router = new DInstructionRouter;
    return *router;
}

DInstructionRouter::DInstructionRouter()
    : m_timeoutTimer(new QTimer(this)) {
    m_clock.start();
    m_timeoutTimer->setSingleShot(true);
    m_timeoutTimer->setTimerType(Qt::PreciseTimer);
    connect(m_timeoutTimer, &QTimer::timeout, this, &DInstructionRouter::endOverdueInstructions);
}

DInstructionRouter::~DInstructionRouter() = default;

quint64 DInstructionRouter::addInstruction(QObject* caller, DAbstractPlugin* callerPlugin,
                                           const QString& target, const QString& instruction,
                                           const QVariantMap& arguments, int timeout,
                                           const DReplyDelegate& callback) {
    DAbstractPlugin* targetPlugin = resolveTarget(callerPlugin, target);
    if (!targetPlugin) {
        emit sigInstructionRefused(target, instruction, IMessenger::UnknownTarget);
        return 0;
    }
    DAbstractCommand* prototype = targetPlugin->commandPrototype(instruction);
    if (!prototype) {
        emit sigInstructionRefused(target, instruction, IMessenger::UnknownInstruction);
        return 0;
    }
    QSharedPointer<ICommand> run = prototype->createCommand(arguments);
    auto* runObject = dynamic_cast<DAbstractCommand*>(run.data());
    if (!runObject) {
        emit sigInstructionRefused(target, instruction, IMessenger::Refused);
        return 0;
    }

    watchCaller(caller);
    const quint64 id = ++m_lastId;
    Instruction& entry = m_instructions[id];
    entry.callerKey = caller;
    entry.caller = caller;
    entry.callback = callback;
    entry.run = run;
    entry.runObject = runObject;
    entry.target = targetPlugin;
    entry.standing = runObject->isRecurrent();
    m_heldByCaller.insert(caller, id);
    m_servedByPlugin.insert(targetPlugin, id);
    runObject->m_servedInstructionId = id;
    emit sigInstructionAdded(id, targetPlugin, instruction, arguments, timeout);

    if (!run->commandExecute()) {
        runObject->m_servedInstructionId = 0;
        m_instructions.remove(id);
        m_heldByCaller.remove(caller, id);
        m_servedByPlugin.remove(targetPlugin, id);
        emit sigInstructionRefused(target, instruction, IMessenger::Refused);
        return 0;
    }
    const auto stillThere = m_instructions.find(id);
    if (stillThere != m_instructions.end() && !stillThere->standing && timeout > 0) {
        addDeadline(*stillThere, id, m_clock.elapsed() + timeout);
    }
    return id;
}

quint64 DInstructionRouter::addDriverInstruction(QObject* caller, const QUuid& objectUuid,
                                                 const QString& instruction,
                                                 const QVariantMap& arguments, int timeout,
                                                 const DReplyDelegate& callback) {
    return addInstruction(caller, findPlugin(objectUuid), QStringLiteral("driver"), instruction,
                          arguments, timeout, callback);
}

bool DInstructionRouter::stopTheInstruction(QObject* caller, quint64 instructionId) {
    const auto found = m_instructions.constFind(instructionId);
    if (instructionId == 0 || found == m_instructions.constEnd() || found->callerKey != caller) {
        return false;
    }
    endInstruction(instructionId);
    return true;
}

void DInstructionRouter::releaseCaller(QObject* caller) {
    QList<quint64> held = m_heldByCaller.values(caller);
    if (held.isEmpty()) {
        return;
    }
    std::sort(held.begin(), held.end());
    for (quint64 id : held) {
        endInstruction(id);
    }
}

void DInstructionRouter::releasePlugin(DAbstractPlugin* plugin) {
    QList<quint64> served = m_servedByPlugin.values(plugin);
    std::sort(served.begin(), served.end());
    for (quint64 id : served) {
        endInstruction(id);
    }
}

DAbstractPlugin* DInstructionRouter::findPlugin(const QUuid& objectUuid) const {
    if (objectUuid.isNull()) {
        return nullptr;
    }
    for (DAbstractPlugin* plugin : m_plugins) {
        if (plugin->objectUuid() == objectUuid) {
            return plugin;
        }
    }
    return nullptr;
}

bool DInstructionRouter::isStanding(quint64 instructionId) const {
    return m_instructions.contains(instructionId);
}

int DInstructionRouter::instructionCount() const {
    return m_instructions.size();
}

void DInstructionRouter::addDeadline(Instruction& entry, quint64 instructionId, qint64 deadlineMs) {
    entry.deadlineMs = deadlineMs;
    m_deadlines.emplace(deadlineMs, instructionId);
    if (!m_timeoutTimer->isActive() || deadlineMs < m_armedDeadlineMs) {
        armTimeoutTimer(deadlineMs);
    }
}

void DInstructionRouter::armTimeoutTimer(qint64 deadlineMs) {
    m_armedDeadlineMs = deadlineMs;
    m_timeoutTimer->start(int(qMax(deadlineMs - m_clock.elapsed(), qint64(0))));
}

// The timer is left running when the run it was armed for ends early; it then
// finds nothing overdue and is armed again for the soonest deadline left.
void DInstructionRouter::endOverdueInstructions() {
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= m_clock.elapsed()) {
        const quint64 id = m_deadlines.begin()->second;
        m_deadlines.erase(m_deadlines.begin());
        const auto found = m_instructions.find(id);
        if (found != m_instructions.end()) {
            found->deadlineMs = 0;
            endInstruction(id);
        }
    }
    if (m_deadlines.empty()) {
        return;
    }
    const qint64 soonest = m_deadlines.begin()->first;
    if (!m_timeoutTimer->isActive() || soonest < m_armedDeadlineMs) {
        armTimeoutTimer(soonest);
    }
}

void DInstructionRouter::registerPlugin(DAbstractPlugin* plugin) {
    m_plugins.append(plugin);
}

void DInstructionRouter::unregisterPlugin(DAbstractPlugin* plugin) {
    m_plugins.removeOne(plugin);
}

void DInstructionRouter::watchCaller(QObject* caller) {
    // A caller's standing instructions end with it, and its address can be
    // handed out again: nothing may stay registered under it. Qt drops the
    // connection with the caller, so one made at that address later is new.
    if (caller) {
        connect(caller, &QObject::destroyed, this, &DInstructionRouter::releaseCaller,
                Qt::UniqueConnection);
    }
}

DAbstractPlugin* DInstructionRouter::resolveTarget(DAbstractPlugin* callerPlugin,
                                                   const QString& target) const {
    if (!callerPlugin) {
        return nullptr;
    }
    if (target == QLatin1String("myself")) {
        return callerPlugin;
    }
    if (target == QLatin1String("driver")) {
        return callerPlugin->driver();
    }
    return nullptr;
}

void DInstructionRouter::queueReply(quint64 instructionId, const QVariantMap& reply) {
    if (!m_instructions.contains(instructionId)) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, instructionId, reply] { deliver(instructionId, reply); },
        Qt::QueuedConnection);
}

void DInstructionRouter::deliver(quint64 instructionId, const QVariantMap& reply) {
    const auto found = m_instructions.find(instructionId);
    if (found == m_instructions.end()) {
        return;
    }
    if (!found->caller) {
        endInstruction(instructionId);
        return;
    }
    if (!found->standing && !found->answered) {
        // Ends after the replies already queued in this turn: a run that
        // records two results at once answers twice.
        found->answered = true;
        QMetaObject::invokeMethod(
            this, [this, instructionId] { endInstruction(instructionId); }, Qt::QueuedConnection);
    }
    const DReplyDelegate callback = found->callback;
    if (!callback.empty()) {
        callback(instructionId, reply);
    }
}

void DInstructionRouter::endInstruction(quint64 instructionId) {
    const auto found = m_instructions.find(instructionId);
    if (found == m_instructions.end()) {
        return;
    }
    Instruction ended = std::move(found.value());
    m_instructions.erase(found);
    m_heldByCaller.remove(ended.callerKey, instructionId);
    m_servedByPlugin.remove(ended.target, instructionId);
    m_deadlines.erase({ended.deadlineMs, instructionId}); // none without a deadline
    ended.runObject->m_servedInstructionId = 0;
    bool ok = false;
    ended.run->finishTheCommand(ok);
    emit sigInstructionEnded(instructionId);
}
