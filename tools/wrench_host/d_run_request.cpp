#include "d_run_request.h"

#include "d_value_converter.h"

#include <d_abstract_command.h>
#include <d_abstract_plugin.h>

#include <limits>

bool DRunRequest::fromVerb(const QString& verb, const QStringList& words, int count,
                           const DAbstractPlugin& plugin, DRunRequest* request, QString* error) {
    DRunRequest built;
    built.count = count;
    bool ok = true;
    if (verb == QLatin1String("list")) {
        built.kind = Kind::List;
        if (!words.isEmpty()) {
            *error = QStringLiteral("list takes no arguments (got %1)").arg(words.first());
            return false;
        }
    } else if (verb == QLatin1String("listen")) {
        ok = built.build(listenCommand, words, plugin, error);
    } else {
        ok = built.build(words.value(0), words.mid(1), plugin, error);
    }
    if (!ok) {
        return false;
    }
    if (built.count > 0 && built.kind != Kind::Listen) {
        *error = QStringLiteral("--count applies to listen only");
        return false;
    }
    *request = built;
    return true;
}

bool DRunRequest::fromScriptLine(const QStringList& words, const DAbstractPlugin& plugin,
                                 DRunRequest* request, QString* error) {
    QStringList rest = words;
    int count = 0;
    if (!takeCount(&rest, &count, error)) {
        return false;
    }
    for (const QString& word : rest) {
        if (word.startsWith(QLatin1String("--"))) {
            *error =
                QStringLiteral("unknown option %1 (a script line takes only --count)").arg(word);
            return false;
        }
    }
    const QString first = rest.value(0);
    if (first == QLatin1String("list") || first == QLatin1String("listen")) {
        return fromVerb(first, rest.mid(1), count, plugin, request, error);
    }
    return fromVerb(QStringLiteral("run"), rest, count, plugin, request, error);
}

bool DRunRequest::build(const QString& commandName, const QStringList& keyValues,
                        const DAbstractPlugin& plugin, QString* error) {
    if (!plugin.commandPrototype(commandName)) {
        *error =
            QStringLiteral("unknown command \"%1\" (wrench_host list shows them)").arg(commandName);
        return false;
    }
    command = commandName;
    kind = commandName == QLatin1String(listenCommand) ? Kind::Listen : Kind::Run;
    for (const QString& word : keyValues) {
        if (!addArgument(word, commandName, plugin, error)) {
            return false;
        }
    }
    return checkRequired(plugin, error);
}

// A required parameter has no default to fall back on: without it the command
// would act on an empty value (an unlock instead of a lock, say).
bool DRunRequest::checkRequired(const DAbstractPlugin& plugin, QString* error) const {
    QStringList missing;
    const QVariantMap configuration = plugin.configuration();
    for (const auto& parameter : plugin.commandPrototype(command)->declaredParameters()) {
        if (parameter.isRequired() && !arguments.contains(parameter.name) &&
            !configuration.contains(parameter.name)) {
            missing.append(QStringLiteral("%1 (%2)").arg(parameter.name, parameter.type));
        }
    }
    if (missing.isEmpty()) {
        return true;
    }
    *error = QStringLiteral("%1 needs %2: required, without a default, and not in the "
                            "configuration")
                 .arg(command, missing.join(QStringLiteral(", ")));
    return false;
}

bool DRunRequest::addArgument(const QString& word, const QString& commandName,
                              const DAbstractPlugin& plugin, QString* error) {
    const int equals = word.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        *error = QStringLiteral("\"%1\" is not KEY=VALUE").arg(word);
        return false;
    }
    const QString key = word.left(equals);
    if (arguments.contains(key)) {
        *error = QStringLiteral("%1 is given twice").arg(key);
        return false;
    }
    const DAbstractCommand* prototype = plugin.commandPrototype(commandName);
    QStringList known;
    for (const auto& parameter : prototype->declaredParameters()) {
        known.append(parameter.name);
        if (parameter.name != key) {
            continue;
        }
        QVariant value;
        QString reason;
        if (!DValueConverter::convert(parameter.type, word.mid(equals + 1), &value, &reason)) {
            *error = QStringLiteral("%1: %2, not \"%3\"").arg(key, reason, word.mid(equals + 1));
            return false;
        }
        arguments.insert(key, value);
        return true;
    }
    *error = QStringLiteral("%1 has no parameter %2 (it takes: %3)")
                 .arg(commandName, key, known.join(QStringLiteral(", ")));
    return false;
}

bool DRunRequest::takeCount(QStringList* words, int* count, QString* error) {
    for (int i = 0; i < words->size(); ++i) {
        const QString word = words->at(i);
        QString value;
        if (word == QLatin1String("--count")) {
            if (i + 1 >= words->size()) {
                *error = QStringLiteral("--count needs a value");
                return false;
            }
            value = words->at(i + 1);
            words->erase(words->begin() + i, words->begin() + i + 2);
        } else if (word.startsWith(QLatin1String("--count="))) {
            value = word.mid(8);
            words->removeAt(i);
        } else {
            continue;
        }
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok, 10);
        if (!ok || number < 1 || number > std::numeric_limits<int>::max()) {
            *error = QStringLiteral("--count needs a whole number from 1, not \"%1\"").arg(value);
            return false;
        }
        *count = static_cast<int>(number);
        --i;
    }
    return true;
}
