#include "d_host_options.h"

#include "d_plugin_location.h"

#include <limits>

namespace {

const QStringList valueOptions{
    "--plugin",          "--config",    "--port", "--baud",       "--sim-serial", "--sim-fault",
    "--sim-tightenings", "--sim-every", "--seed", "--time-limit", "--count"};

} // namespace

bool DHostOptions::parse(const QStringList& arguments, QString* error) {
    pluginPath = DPluginLocation::defaultPluginPath();
    QStringList positional;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            help = true;
            continue;
        }
        if (word == QLatin1String("--trace")) {
            trace = true;
            continue;
        }
        if (!word.startsWith(QLatin1Char('-')) || word == QLatin1String("-")) {
            positional.append(word);
            continue;
        }
        const int equals = word.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? word : word.left(equals);
        if (!isValueOption(name)) {
            *error = QStringLiteral("unknown option %1").arg(name);
            return false;
        }
        QString value;
        if (equals >= 0) {
            value = word.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            *error = QStringLiteral("%1 needs a value").arg(name);
            return false;
        }
        if (!takeOption(name, value, error)) {
            return false;
        }
    }
    if (help) {
        return true;
    }
    if (positional.isEmpty()) {
        *error = QStringLiteral("no command given (list, run, listen or script)");
        return false;
    }
    verb = positional.takeFirst();
    words = positional;
    return checkVerb(error);
}

bool DHostOptions::takeOption(const QString& name, const QString& value, QString* error) {
    if (name == QLatin1String("--seed")) {
        qint64 number = 0;
        if (!toNumber(name, value, 0, std::numeric_limits<quint32>::max(), &number, error)) {
            return false;
        }
        seed = static_cast<quint32>(number);
        return true;
    }
    const struct {
        const char* name;
        int minimum;
        int* target;
    } counts[] = {
        {"--baud", 1, &baudRate},        {"--sim-tightenings", 0, &simTightenings},
        {"--sim-every", 1, &simEveryMs}, {"--time-limit", 1, &timeLimitMs},
        {"--count", 1, &count},
    };
    for (const auto& option : counts) {
        if (name == QLatin1String(option.name)) {
            qint64 number = 0;
            if (!toNumber(name, value, option.minimum, std::numeric_limits<int>::max(), &number,
                          error)) {
                return false;
            }
            *option.target = static_cast<int>(number);
            return true;
        }
    }
    const struct {
        const char* name;
        QString* target;
    } texts[] = {
        {"--plugin", &pluginPath},    {"--config", &configPath},   {"--port", &portName},
        {"--sim-serial", &simSerial}, {"--sim-fault", &simFaults},
    };
    for (const auto& option : texts) {
        if (name == QLatin1String(option.name)) {
            *option.target = value;
        }
    }
    return true;
}

bool DHostOptions::checkVerb(QString* error) const {
    if (verb == QLatin1String("list")) {
        if (!words.isEmpty()) {
            *error = QStringLiteral("list takes no arguments (got %1)").arg(words.first());
            return false;
        }
    } else if (verb == QLatin1String("run")) {
        if (words.isEmpty()) {
            *error = QStringLiteral("run needs a command name (see wrench_host list)");
            return false;
        }
    } else if (verb == QLatin1String("script")) {
        if (words.size() != 1) {
            *error = QStringLiteral("script needs exactly one file");
            return false;
        }
    } else if (verb != QLatin1String("listen")) {
        *error = QStringLiteral("unknown command %1 (list, run, listen or script)").arg(verb);
        return false;
    }
    return true;
}

bool DHostOptions::isValueOption(const QString& name) {
    return valueOptions.contains(name);
}

bool DHostOptions::toNumber(const QString& name, const QString& text, qint64 minimum,
                            qint64 maximum, qint64* number, QString* error) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < minimum || value > maximum || text.trimmed() != text) {
        *error = QStringLiteral("%1 needs a whole number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(minimum)
                     .arg(maximum)
                     .arg(text);
        return false;
    }
    *number = value;
    return true;
}

QString DHostOptions::usage() {
    return QStringLiteral(R"(usage: wrench_host [OPTIONS] list
       wrench_host [OPTIONS] run COMMAND [KEY=VALUE...]
       wrench_host [OPTIONS] listen [KEY=VALUE...] [--count N]
       wrench_host [OPTIONS] script FILE

Runs the torque wrench plug-in's commands against a simulated wrench (the
default) or a wrench on a serial line. stdout carries JSON only: one line per
result update, {"result": KEY, "value": VALUE}, and after each run
{"command": NAME, "results": {...}, "ok": true|false}. Messages and the trace
go to stderr.

Commands:
  list                    one JSON line per command of the plug-in: its name,
                          stop name, description, parameters and results with
                          type tags and defaults
  run COMMAND KEY=VALUE.. run one command to its end: until it records its
                          outcome ("doneOk", "cmd_success" or "failed"), or
                          until --time-limit
  listen KEY=VALUE...     run "listenEventsData" (as "run listenEventsData"
                          does) and print each "eventData"; ends after --count
                          results, or on Ctrl-C or SIGTERM
  script FILE             run FILE's lines in order in one process, each to
                          its end: "COMMAND KEY=VALUE...", "list" or
                          "listen KEY=VALUE... [--count N]"; "#" starts a
                          comment; quotes keep blanks, single quotes take
                          everything as it is (for JSON); the whole file is
                          checked first; stops at the first line that fails

Values are converted by the type tag the command declares for the key:
  bool  true or false           uint  a whole number, 0 to 4294967295
  strg  text as given           int   a whole number, -2147483648 to 2147483647
  byAr  bytes, with C escapes: \r \n \t \\ \" \e \xHH \OOO (octal)
  varM  a JSON object, e.g. presets='{"3":{"targetTorque":12.5}}'
A parameter that is not given is looked up by its name in the configuration
(--config), e.g. "serialId" or the preset table "presets".

Options:
  --config FILE         a JSON object, loaded as the plug-in's configuration
  --plugin PATH         the plug-in library (default: the build tree's)
  --time-limit MS       a run that has not ended after MS ms is timed out
                        (default 20000; listen has none unless given)
  --count N             listen: end after N "eventData" results
  --trace               every frame written ("> ") and every chunk read
                        ("< ") on stderr, control bytes as C escapes
  --port DEVICE         a wrench on this serial device or pty, instead of the
                        simulated wrench
  --baud N              baud rate for --port (default 9600; always 8N1)
Simulated wrench (without --port):
  --sim-serial ID       its serial ID (default W1)
  --sim-fault LIST      faults to play, comma-separated: silent, refuse, split,
                        crlf, garbage, repeat, flood
  --sim-tightenings N   make N tightenings from the start; their records are
                        kept until a listen fetches them
  --sim-every MS        one tightening every MS ms (default 1500)
  --seed N              seed of its random choices (default 1)
  -h, --help            this text

Exit status: 0 success; 1 a run failed, was refused or timed out; 2 a usage or
configuration error (the message names what was wrong).
)");
}
