#pragma once

#include <d_abstract_command.h>

#include <QByteArray>
#include <QMetaObject>

// "listenEventsData" of the driver: a standing run that answers every chunk
// read from the line as {"frame": chunk, "number": n}, n counting from 1 for
// this run. Every standing listener gets every chunk; "validator" and
// "subscription" are accepted and do not filter.
class DCmdDriverListen : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdDriverListen(const QVariantMap& arguments, QObject* parent);
    ~DCmdDriverListen() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    // The number of the reply after previous: never 0, and back to 1 instead
    // of overflowing, so that it always differs from the one before.
    static int nextReplyNumber(int previous);

private:
    void onBytesRead(const QByteArray& chunk);

    QMetaObject::Connection m_reading;
    int m_replyNumber = 0;
};
