#pragma once

#include "d_object.h"
#include "i_command.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class DAbstractPlugin;

// Base of every command. The same class serves as the prototype that a plug-in
// declares (it publishes the signature and makes runs) and as each run.
//
// The base commandExecute() refuses a prototype, a run executed before, and a
// run whose parent is not a plug-in (it has nothing to route instructions
// through).
class DAbstractCommand : public DObject, public ICommand {
    Q_OBJECT

public:
    struct Declaration {
        QString name;
        QString type;
        QString description;
        QVariant defaultValue;

        // A parameter without a usable default (invalid or null) has to be
        // given, as an argument or in the plug-in instance's configuration.
        bool isRequired() const { return defaultValue.isNull(); }
    };

    DAbstractCommand(const QString& name, const QString& stopName, const QVariantMap& arguments,
                     QObject* parent);
    DAbstractCommand(const QString& name, const QVariantMap& arguments, QObject* parent);
    ~DAbstractCommand() override;

    void linkWithItsOrder(quint64 orderId) override;
    QString commandName() const override;
    QString stopCommandName() const override;
    quint64 getOrderId() const override;
    quint64 getParameterOrderId() const override;
    bool isRecurrent() const override;
    bool isValid() const override;
    QString description() const override;
    QVariantMap fullDescription() const override;
    QVariantMap commandArguments() const override;
    bool commandExecute() override;
    bool setReply(const QVariantMap& reply) override;
    void finishTheCommand(bool& ok) override;
    quint64 addInstruction(const QString& target, const QString& instruction,
                           const QVariantMap& arguments, int timeout,
                           DReplyDelegate callback) override;

    void setDescription(const QString& description);
    void declareAParameter(const QString& name, const QString& type, const QString& description,
                           const QVariant& defaultValue);
    void declareAResult(const QString& name, const QString& type, const QString& description,
                        const QVariant& defaultValue);
    QList<Declaration> declaredParameters() const;
    QList<Declaration> declaredResults() const;

    // The run's argument, else the plug-in instance's configuration value of
    // that name, else the parameter's declared default when it is not
    // required, else defaultValue.
    QVariant getParameterValue(const QString& name, const QVariant& defaultValue) const;

    // Ends one of this command's own instructions; false for 0, for an
    // identifier that is not standing, or for one that another caller holds.
    bool stopTheInstruction(quint64 instructionId);

    // Records declared results; an undeclared key is refused (false).
    bool commandUpdateResult(const QString& key, const QVariant& value);
    bool commandUpdateResults(const QVariantMap& results);
    // The results recorded so far (declared defaults are not included).
    QVariantMap commandResults() const;

    DAbstractPlugin* plugin() const;
    bool isPrototype() const;

signals:
    void sigCommandFinished(bool ok);
    // One emission per recorded key, in the order of recording.
    void sigResultUpdated(const QString& key, const QVariant& value);

protected:
    // A new run of the same class, owned by the returned pointer, with this
    // prototype's parent.
    template <class Command>
    QSharedPointer<ICommand> makeRun(const QVariantMap& arguments) const {
        return QSharedPointer<ICommand>(new Command(arguments, parent()));
    }

    // A command whose run stands until it is stopped (a listener) says so.
    void setRecurrent(bool recurrent);
    // Forgets the results recorded so far, for a standing run whose every
    // update stands on its own (each reply then carries only that update).
    void clearResults();

private:
    friend class DAbstractPlugin;
    friend class DInstructionRouter;

    static bool isDeclared(const QList<Declaration>& declarations, const QString& name);
    static const Declaration* find(const QList<Declaration>& declarations, const QString& name);
    void markAsPrototype();
    bool recordResults(const QVariantMap& results);

    const QString m_name;
    const QString m_stopName;
    const QVariantMap m_arguments;
    QString m_description;
    QList<Declaration> m_parameters;
    QList<Declaration> m_results;
    QVariantMap m_recordedResults;
    quint64 m_orderId = 0;
    quint64 m_servedInstructionId = 0;
    bool m_prototype = false;
    bool m_executed = false;
    bool m_recurrent = false;
};
