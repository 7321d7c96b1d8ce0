#include "p_scripted_driver.h"

#include <d_instruction_router.h>

DCmdScripted::DCmdScripted(const QString& name, bool recurrent, const QVariantMap& arguments,
                           QObject* parent)
    : DAbstractCommand(name, arguments, parent) {
    setRecurrent(recurrent);
    declareAResult("frame", "byAr", "Bytes received", QVariant());
    declareAResult("number", "int", "Reply number", 0);
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

bool DCmdScripted::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    m_started = true;
    if (auto* owner = driver()) {
        owner->attach(this);
        const QVariantMap reply = owner->m_autoAnswers.value(commandName());
        if (!reply.isEmpty()) {
            answer(reply);
        }
    }
    return true;
}

void DCmdScripted::finishTheCommand(bool& ok) {
    m_finished = true;
    DAbstractCommand::finishTheCommand(ok);
}

QSharedPointer<ICommand> DCmdScripted::createCommand(const QVariantMap& arguments) {
    return QSharedPointer<ICommand>(
        new DCmdScripted(commandName(), isRecurrent(), arguments, parent()));
}

void DCmdScripted::answer(const QVariantMap& reply) {
    clearResults();
    commandUpdateResults(reply);
}

PScriptedDriver* DCmdScripted::driver() const {
    return qobject_cast<PScriptedDriver*>(parent());
}

PScriptedDriver::PScriptedDriver(QObject* parent)
    : DAbstractPlugin(QUuid::createUuid(), "Scripted driver", IPlugin::Driver, 0x1'0000'0000'0000,
                      QUuid::createUuid(), parent, true) {
    connect(&DInstructionRouter::instance(), &DInstructionRouter::sigInstructionAdded, this,
            &PScriptedDriver::onInstructionAdded);
    initPluginCommands();
}

void PScriptedDriver::initPluginCommands() {
    initAbstractCommands();
    declareInstructionCommand(new DCmdScripted("listenEventsData", true, {}, this));
    for (const char* name :
         {"write", "closeConnection", "setParallelListening", "setKeepAliveFonction"}) {
        declareInstructionCommand(new DCmdScripted(name, false, {}, this));
    }
    emit sigCommandsInitDone(objectUuid(), commandNames());
}

IPlugin* PScriptedDriver::createInstance(const QUuid&) const {
    return new PScriptedDriver();
}

QList<QByteArray> PScriptedDriver::writtenFrames() const {
    QList<QByteArray> frames;
    for (const auto& entry : m_received) {
        if (entry.instruction == QLatin1String("write")) {
            frames.append(entry.arguments.value("frame").toByteArray());
        }
    }
    return frames;
}

QList<DCmdScripted*> PScriptedDriver::standingListeners() const {
    QList<DCmdScripted*> listeners;
    for (const auto& entry : m_received) {
        if (entry.run && entry.run->isRecurrent() && entry.run->isStanding()) {
            listeners.append(entry.run.data());
        }
    }
    return listeners;
}

void PScriptedDriver::sendFrame(const QByteArray& bytes) {
    sendReply({{"frame", bytes}, {"number", ++m_frameNumber}});
}

void PScriptedDriver::sendReply(const QVariantMap& reply) {
    for (DCmdScripted* listener : standingListeners()) {
        listener->answer(reply);
    }
}

void PScriptedDriver::setAutoAnswer(const QString& instruction, const QVariantMap& reply) {
    m_autoAnswers.insert(instruction, reply);
}

void PScriptedDriver::onInstructionAdded(quint64 id, DAbstractPlugin* target,
                                         const QString& instruction, const QVariantMap& arguments,
                                         int timeout) {
    if (target == this) {
        m_received.append({id, instruction, arguments, timeout, nullptr});
    }
}

void PScriptedDriver::attach(DCmdScripted* run) {
    if (!m_received.isEmpty() && !m_received.last().run) {
        m_received.last().run = run;
    }
}
