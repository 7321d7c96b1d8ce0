#include "d_command_help.h"

#include "d_json_output.h"
#include "d_value_converter.h"

#include <d_abstract_command.h>

QString DCommandHelp::text(const DAbstractCommand& command, const QVariantMap& configuration) {
    QString text = QStringLiteral("%1: %2\n").arg(command.commandName(), command.description());
    if (!command.stopCommandName().isEmpty()) {
        text += QStringLiteral("Stopped by: %1\n").arg(command.stopCommandName());
    }
    text += QStringLiteral("\nParameters (KEY=VALUE):\n");
    for (const auto& parameter : command.declaredParameters()) {
        QString where = parameter.isRequired()
                            ? QStringLiteral("required")
                            : QStringLiteral("default %1").arg(shown(parameter.defaultValue));
        if (configuration.contains(parameter.name)) {
            where += QStringLiteral("; the configuration gives %1")
                         .arg(shown(configuration.value(parameter.name)));
        }
        text +=
            QStringLiteral("  %1 (%2: %3)\n      %4; %5\n")
                .arg(parameter.name, parameter.type, DValueConverter::expectedForm(parameter.type),
                     parameter.description.trimmed(), where);
    }
    text += QStringLiteral("\nResults:\n");
    for (const auto& result : command.declaredResults()) {
        text += QStringLiteral("  %1 (%2)\n      %3; default %4\n")
                    .arg(result.name, result.type, result.description.trimmed(),
                         shown(result.defaultValue));
    }
    return text;
}

// A value as JSON, the way the output shows it.
QString DCommandHelp::shown(const QVariant& value) {
    return DJsonOutput::inlineText(DJsonOutput::toJson(value));
}
