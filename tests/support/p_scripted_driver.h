#pragma once

#include <d_abstract_command.h>
#include <d_abstract_plugin.h>

#include <QByteArray>
#include <QList>
#include <QPointer>

class PScriptedDriver;

// One run of a scripted driver instruction.
class DCmdScripted : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdScripted(const QString& name, bool recurrent, const QVariantMap& arguments,
                 QObject* parent);

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool isStanding() const { return m_started && !m_finished; }
    // Answers as the driver would: the reply carries exactly this map.
    void answer(const QVariantMap& reply);

private:
    PScriptedDriver* driver() const;

    bool m_started = false;
    bool m_finished = false;
};

// A driver plug-in for tests: it records every instruction it receives
// (name, arguments, timeout) and lets the test answer through its runs.
class PScriptedDriver : public DAbstractPlugin {
    Q_OBJECT

public:
    struct Received {
        quint64 id = 0;
        QString instruction;
        QVariantMap arguments;
        int timeout = 0;
        QPointer<DCmdScripted> run;
    };

    explicit PScriptedDriver(QObject* parent = nullptr);

    void initPluginCommands() override;
    IPlugin* createInstance(const QUuid& instanceUuid) const override;

    QList<Received> received() const { return m_received; }
    // The "frame" of every "write", in order.
    QList<QByteArray> writtenFrames() const;
    QList<DCmdScripted*> standingListeners() const;

    // Every standing listener answers {"frame": bytes, "number": n}, n counting
    // up from 1 for each call.
    void sendFrame(const QByteArray& bytes);
    // Every standing listener answers exactly this map.
    void sendReply(const QVariantMap& reply);
    // Runs of this instruction answer this map as soon as they execute.
    void setAutoAnswer(const QString& instruction, const QVariantMap& reply);

private:
    friend class DCmdScripted;

    void onInstructionAdded(quint64 id, DAbstractPlugin* target, const QString& instruction,
                            const QVariantMap& arguments, int timeout);
    void attach(DCmdScripted* run);

    QList<Received> m_received;
    QHash<QString, QVariantMap> m_autoAnswers;
    int m_frameNumber = 0;
};
