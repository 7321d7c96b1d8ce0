#include "d_abstract_command.h"

#include "d_abstract_plugin.h"
#include "d_instruction_router.h"

namespace {

QVariantList describe(const QList<DAbstractCommand::Declaration>& declarations) {
    QVariantList list;
    for (const auto& declaration : declarations) {
        list.append(QVariantMap{{"name", declaration.name},
                                {"type", declaration.type},
                                {"description", declaration.description},
                                {"default", declaration.defaultValue}});
    }
    return list;
}

} // namespace

DAbstractCommand::DAbstractCommand(const QString& name, const QString& stopName,
                                   const QVariantMap& arguments, QObject* parent)
    : DObject(parent)
    , m_name(name)
    , m_stopName(stopName)
    , m_arguments(arguments) {}

DAbstractCommand::DAbstractCommand(const QString& name, const QVariantMap& arguments,
                                   QObject* parent)
    : DAbstractCommand(name, QString(), arguments, parent) {}

// The router ends the instructions a command holds when it is destroyed.
DAbstractCommand::~DAbstractCommand() = default;

void DAbstractCommand::linkWithItsOrder(quint64 orderId) {
    m_orderId = orderId;
}

QString DAbstractCommand::commandName() const {
    return m_name;
}

QString DAbstractCommand::stopCommandName() const {
    return m_stopName;
}

quint64 DAbstractCommand::getOrderId() const {
    return m_orderId;
}

quint64 DAbstractCommand::getParameterOrderId() const {
    return m_arguments.value(QStringLiteral("orderId")).toULongLong();
}

bool DAbstractCommand::isRecurrent() const {
    return m_recurrent;
}

bool DAbstractCommand::isValid() const {
    return !m_name.isEmpty();
}

QString DAbstractCommand::description() const {
    return m_description;
}

QVariantMap DAbstractCommand::fullDescription() const {
    return {{"name", m_name},
            {"stopName", m_stopName},
            {"description", m_description},
            {"parameters", describe(m_parameters)},
            {"results", describe(m_results)}};
}

QVariantMap DAbstractCommand::commandArguments() const {
    return m_arguments;
}

bool DAbstractCommand::commandExecute() {
    if (m_prototype || m_executed || !plugin()) {
        return false;
    }
    m_executed = true;
    return true;
}

bool DAbstractCommand::setReply(const QVariantMap& reply) {
    return commandUpdateResults(reply);
}

void DAbstractCommand::finishTheCommand(bool& ok) {
    DInstructionRouter::instance().releaseCaller(this);
    ok = true;
    emit sigCommandFinished(ok);
}

quint64 DAbstractCommand::addInstruction(const QString& target, const QString& instruction,
                                         const QVariantMap& arguments, int timeout,
                                         DReplyDelegate callback) {
    return DInstructionRouter::instance().addInstruction(this, plugin(), target, instruction,
                                                         arguments, timeout, callback);
}

void DAbstractCommand::setDescription(const QString& description) {
    m_description = description;
}

void DAbstractCommand::declareAParameter(const QString& name, const QString& type,
                                         const QString& description, const QVariant& defaultValue) {
    m_parameters.append({name, type, description, defaultValue});
}

void DAbstractCommand::declareAResult(const QString& name, const QString& type,
                                      const QString& description, const QVariant& defaultValue) {
    m_results.append({name, type, description, defaultValue});
}

QList<DAbstractCommand::Declaration> DAbstractCommand::declaredParameters() const {
    return m_parameters;
}

QList<DAbstractCommand::Declaration> DAbstractCommand::declaredResults() const {
    return m_results;
}

QVariant DAbstractCommand::getParameterValue(const QString& name,
                                             const QVariant& defaultValue) const {
    const auto argument = m_arguments.constFind(name);
    if (argument != m_arguments.constEnd()) {
        return argument.value();
    }
    if (const auto* owner = plugin(); owner && owner->configuration().contains(name)) {
        return owner->configurationValue(name);
    }
    const Declaration* declared = find(m_parameters, name);
    return declared && !declared->isRequired() ? declared->defaultValue : defaultValue;
}

bool DAbstractCommand::stopTheInstruction(quint64 instructionId) {
    return DInstructionRouter::instance().stopTheInstruction(this, instructionId);
}

bool DAbstractCommand::commandUpdateResult(const QString& key, const QVariant& value) {
    return recordResults({{key, value}});
}

bool DAbstractCommand::commandUpdateResults(const QVariantMap& results) {
    return recordResults(results);
}

QVariantMap DAbstractCommand::commandResults() const {
    return m_recordedResults;
}

DAbstractPlugin* DAbstractCommand::plugin() const {
    return qobject_cast<DAbstractPlugin*>(parent());
}

bool DAbstractCommand::isPrototype() const {
    return m_prototype;
}

void DAbstractCommand::setRecurrent(bool recurrent) {
    m_recurrent = recurrent;
}

void DAbstractCommand::clearResults() {
    m_recordedResults.clear();
}

bool DAbstractCommand::isDeclared(const QList<Declaration>& declarations, const QString& name) {
    return find(declarations, name) != nullptr;
}

const DAbstractCommand::Declaration* DAbstractCommand::find(const QList<Declaration>& declarations,
                                                            const QString& name) {
    for (const auto& declaration : declarations) {
        if (declaration.name == name) {
            return &declaration;
        }
    }
    return nullptr;
}

void DAbstractCommand::markAsPrototype() {
    m_prototype = true;
}

bool DAbstractCommand::recordResults(const QVariantMap& results) {
    for (auto it = results.constBegin(); it != results.constEnd(); ++it) {
        if (!isDeclared(m_results, it.key())) {
            return false;
        }
    }
    for (auto it = results.constBegin(); it != results.constEnd(); ++it) {
        m_recordedResults.insert(it.key(), it.value());
        emit sigResultUpdated(it.key(), it.value());
    }
    if (m_servedInstructionId != 0) {
        DInstructionRouter::instance().queueReply(m_servedInstructionId, m_recordedResults);
    }
    return true;
}
