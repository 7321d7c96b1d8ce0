#pragma once

#include <QString>
#include <QVariantMap>

class DAbstractCommand;

// "wrench_host help COMMAND": what a command does, each parameter with its
// type, whether it is required or its default, and where the configuration
// gives it a value, and the results it records.
class DCommandHelp {
public:
    static QString text(const DAbstractCommand& command, const QVariantMap& configuration);

private:
    static QString shown(const QVariant& value);
};
