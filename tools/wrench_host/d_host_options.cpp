#include "d_host_options.h"

#include "d_plugin_location.h"

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>

#include <limits>

namespace {

struct OptionText {
    const char* name;
    const char* valueName; // null for a switch
    const char* description;
};

// In the order of the usage text.
const OptionText optionTexts[] = {
    {"config", "FILE", "A JSON object, loaded as the plug-in's configuration; checked first."},
    {"plugin", "PATH",
     "The plug-in library (default: the build tree's, or the installed one beside this program)."},
    {"time-limit", "MS",
     "A run that has not ended after MS ms is timed out (default 20000; listen has none unless "
     "given)."},
    {"reconnect-limit", "MS",
     "A run fails when the port has stayed away for MS ms (default 30000; 0: keep trying)."},
    {"count", "N", "listen: end after N \"eventData\" results."},
    {"trace", nullptr,
     "Every frame written and every chunk read on stderr, as \"(SECONDS) > FRAME\" and "
     "\"(SECONDS) < CHUNK\", SECONDS since the start, control bytes as C escapes."},
    {"quiet", nullptr, "No progress messages (connection tries, a listen that hears nothing)."},
    {"port", "DEVICE", "A wrench on this serial device or pty, instead of the simulated wrench."},
    {"baud", "N", "Baud rate for --port (default 9600; always 8N1)."},
    {"sim-serial", "ID", "Simulated wrench: its serial ID (default W1)."},
    {"sim-fault", "LIST",
     "Simulated wrench: faults to play, comma-separated: silent, refuse, split, crlf, garbage, "
     "repeat, flood, sametime, delivered, foreign, damaged, refuseclear[=N]."},
    {"sim-tightenings", "N",
     "Simulated wrench: make N tightenings from the start; their records are kept until a listen "
     "fetches them."},
    {"sim-every", "MS", "Simulated wrench: one tightening every MS ms (default 1500)."},
    {"seed", "N", "Simulated wrench: seed of its random choices (default 1)."},
    {"store", "FILE",
     "Keep every \"eventData\" result in this SQLite file, committed before it is printed "
     "(created when new); export reads it."},
    {"mqtt", "URL",
     "Publish every result to mqtt://HOST[:PORT][/PREFIX] (default port 1883, prefix wrench), "
     "or with TLS to mqtts://HOST[:PORT][/PREFIX] (default port 8883), as "
     "PREFIX/SERIAL/tightening, QoS 1, with PREFIX/SERIAL/status \"online\" or \"offline\" "
     "(retained); with --store, results wait there while the broker is away."},
    {"mqtt-cafile", "FILE",
     "mqtts: the certificate (PEM) of the authority that signed the broker's; the broker's "
     "certificate and host name are checked."},
    {"mqtt-cert", "FILE", "mqtts: this host's own certificate (PEM), for a broker that asks."},
    {"mqtt-key", "FILE", "mqtts: the private key (PEM) of --mqtt-cert."},
    {"mqtt-credentials", "FILE",
     "The broker's user (first line) and password (second line), from a file that only its "
     "owner may read (else from WRENCH_MQTT_USER and WRENCH_MQTT_PASSWORD)."},
    {"mqtt-client-id", "ID",
     "The client id at the broker (default wrench_host-HOSTNAME-STORE, the same for every run "
     "with this store)."},
    {"csv", nullptr, "export: CSV with a header line."},
    {"jsonl", nullptr, "export: one JSON object a line (the default)."},
    {"since", "TIME",
     "export: only results received at or after TIME (ISO 8601, e.g. 2026-12-07T06:00:00Z; "
     "without a zone, local time)."},
};

const char usageHead[] = R"(usage: wrench_host [OPTIONS] list
       wrench_host [OPTIONS] run COMMAND [KEY=VALUE...]
       wrench_host [OPTIONS] listen [KEY=VALUE...] [--count N]
       wrench_host [OPTIONS] script FILE
       wrench_host [OPTIONS] help [COMMAND]
       wrench_host export --store FILE [--csv|--jsonl] [--since TIME]

Runs the torque wrench plug-in's commands against a simulated wrench (the
default) or a wrench on a serial line. stdout carries JSON only: one line per
result update, {"result": KEY, "value": VALUE}, and after each run
{"command": NAME, "results": {...}, "ok": true|false}, its results holding
every result the command declares. Messages, progress and the trace go to
stderr.

Commands:
  list                    one JSON line per command of the plug-in: its name,
                          stop name, description, its parameters (each
                          required, or with its default) and results
  run COMMAND KEY=VALUE.. run one command to its end: until it records its
                          outcome ("doneOk", "cmd_success" or "failed"), or
                          until --time-limit; a failure says why
  listen KEY=VALUE...     run "listenEventsData" (as "run listenEventsData"
                          does) and print each "eventData" with the serial ID
                          and the time it was received; ends after --count
                          results, or on Ctrl-C or SIGTERM
  script FILE             run FILE's lines in order in one process, each to
                          its end: "COMMAND KEY=VALUE...", "list" or
                          "listen KEY=VALUE... [--count N]"; "#" starts a
                          comment; quotes keep blanks, single quotes take
                          everything as it is; the whole file is checked
                          first; stops at the first line that fails
  help COMMAND            what COMMAND does, takes and records
  export                  the results kept in --store FILE, oldest first,
                          on stdout; the plug-in is not loaded

Values are converted by the type tag the command declares for the key:
  bool  true or false           uint  a whole number, 0 to 4294967295
  strg  text as given           int   a whole number, -2147483648 to 2147483647
  byAr  bytes, with C escapes: \r \n \t \\ \" \e \xHH \OOO (octal)
  varM  a JSON object, in single quotes
A parameter that is not given is looked up by its name in the configuration
(--config), e.g. "serialId", else it takes its declared default. A required
parameter (see list or help) that is in neither place is refused.

)";

const char usageTail[] = R"(
Examples:
  wrench_host list
  wrench_host help setProgram
  wrench_host run checkConnectionWithSerial serialId=W1
  wrench_host --config examples/config.json run setLock lock=true
  wrench_host --config examples/config.json run setProgram program=3
  wrench_host --config examples/config.json --sim-tightenings 1 --sim-every 100 listen --count 1
  wrench_host --config examples/config.json --sim-tightenings 3 --sim-every 100 script examples/demo.script
  wrench_host --trace run setKeepAliveFonction serialId=W1 frame=BAT\\r responseFrame=
  wrench_host --port /dev/ttyUSB0 run setLock serialId=4711 lock=false

Exit status: 0 success; 1 a run failed, was refused or timed out, the port
stayed away, or the broker refused the login (the results stay in --store); 2
a usage or configuration error (the message names what was wrong).
)";

} // namespace

bool DHostOptions::parse(const QStringList& arguments, QString* error) {
    pluginPath = DPluginLocation::defaultPluginPath();
    QCommandLineParser parser;
    addOptions(&parser);
    if (!parser.parse(QStringList{QStringLiteral("wrench_host")} + arguments)) {
        *error = parseError(parser);
        return false;
    }
    help = parser.isSet(QStringLiteral("help"));
    version = parser.isSet(QStringLiteral("version"));
    trace = parser.isSet(QStringLiteral("trace"));
    quiet = parser.isSet(QStringLiteral("quiet"));
    csv = parser.isSet(QStringLiteral("csv"));
    jsonl = parser.isSet(QStringLiteral("jsonl"));
    if (!takeValues(parser, error) || !completeMqtt(error)) {
        return false;
    }
    if (help || version) {
        return true;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        *error = QStringLiteral("no command given (list, run, listen, script, help or export)");
        return false;
    }
    verb = positional.takeFirst();
    words = positional;
    return checkVerb(error);
}

void DHostOptions::addOptions(QCommandLineParser* parser) {
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionText& option : optionTexts) {
        parser->addOption(QCommandLineOption(QString::fromLatin1(option.name),
                                             QString::fromUtf8(option.description),
                                             QString::fromLatin1(option.valueName)));
    }
    parser->addOption({{"h", "help"}, QStringLiteral("This text.")});
    parser->addOption({"version", QStringLiteral("The version, on stdout.")});
}

// The parser's own texts, in the words of the rest of the host.
QString DHostOptions::parseError(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString& name = unknown.first();
        return QStringLiteral("unknown option %1%2")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'"));
    const QString text = parser.errorText();
    if (const auto match = missing.match(text); match.hasMatch()) {
        return QStringLiteral("%1 needs a value").arg(match.captured(1));
    }
    if (const auto match = unexpected.match(text); match.hasMatch()) {
        return QStringLiteral("%1 takes no value").arg(match.captured(1));
    }
    return text;
}

bool DHostOptions::takeValues(const QCommandLineParser& parser, QString* error) {
    for (const OptionText& option : optionTexts) {
        const QString name = QString::fromLatin1(option.name);
        if (option.valueName && parser.isSet(name) &&
            !takeOption(QStringLiteral("--") + name, parser.value(name), error)) {
            return false;
        }
    }
    return true;
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
        {"--baud", 1, &baudRate},
        {"--sim-tightenings", 0, &simTightenings},
        {"--sim-every", 1, &simEveryMs},
        {"--time-limit", 1, &timeLimitMs},
        {"--reconnect-limit", 0, &reconnectLimitMs},
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
        {"--sim-serial", &simSerial}, {"--sim-fault", &simFaults}, {"--store", &storePath},
    };
    for (const auto& option : texts) {
        if (name == QLatin1String(option.name)) {
            *option.target = value;
        }
    }
    if (name.startsWith(QLatin1String("--mqtt"))) {
        return takeMqttOption(name, value, error);
    }
    if (name == QLatin1String("--since")) {
        return takeSince(value, error);
    }
    return true;
}

bool DHostOptions::takeMqttOption(const QString& name, const QString& value, QString* error) {
    if (name == QLatin1String("--mqtt")) {
        hasMqtt = true;
        return mqtt.parse(value, error);
    }
    const struct {
        const char* name;
        QString* target;
    } texts[] = {
        {"--mqtt-cafile", &mqtt.caFile},      {"--mqtt-cert", &mqtt.certFile},
        {"--mqtt-key", &mqtt.keyFile},        {"--mqtt-credentials", &mqtt.credentialsFile},
        {"--mqtt-client-id", &mqtt.clientId},
    };
    for (const auto& option : texts) {
        if (name == QLatin1String(option.name)) {
            *option.target = value;
        }
    }
    return true;
}

// After every option: the TLS files and the credentials belong to --mqtt.
bool DHostOptions::completeMqtt(QString* error) {
    if (hasMqtt) {
        return mqtt.complete(error);
    }
    if (!mqtt.caFile.isEmpty() || !mqtt.certFile.isEmpty() || !mqtt.keyFile.isEmpty() ||
        !mqtt.credentialsFile.isEmpty() || !mqtt.clientId.isEmpty()) {
        *error = QStringLiteral("--mqtt-cafile, --mqtt-cert, --mqtt-key, --mqtt-credentials and "
                                "--mqtt-client-id apply to --mqtt only");
        return false;
    }
    return true;
}

bool DHostOptions::takeSince(const QString& text, QString* error) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid()) {
        time = QDateTime::fromString(text, Qt::ISODate);
    }
    if (!time.isValid()) {
        *error = QStringLiteral("--since needs an ISO 8601 time such as 2026-12-07T06:00:00Z, "
                                "not \"%1\"")
                     .arg(text);
        return false;
    }
    since = time;
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
    } else if (verb == QLatin1String("help")) {
        if (words.size() > 1) {
            *error = QStringLiteral("help takes one command name at most");
            return false;
        }
    } else if (verb == QLatin1String("export")) {
        return checkExport(error);
    } else if (verb != QLatin1String("listen")) {
        *error = QStringLiteral("unknown command %1 (list, run, listen, script, help or export)")
                     .arg(verb);
        return false;
    }
    if (csv || jsonl || since.isValid()) {
        *error = QStringLiteral("--csv, --jsonl and --since apply to export only");
        return false;
    }
    return true;
}

bool DHostOptions::checkExport(QString* error) const {
    if (!words.isEmpty()) {
        *error = QStringLiteral("export takes no arguments (got %1)").arg(words.first());
        return false;
    }
    if (storePath.isEmpty()) {
        *error = QStringLiteral("export needs --store FILE");
        return false;
    }
    if (csv && jsonl) {
        *error = QStringLiteral("export writes either --csv or --jsonl, not both");
        return false;
    }
    if (hasMqtt) {
        *error = QStringLiteral("export takes no --mqtt");
        return false;
    }
    return true;
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

// The options' table comes from the parser, so that it lists exactly the
// options that parse() takes.
QString DHostOptions::usage() {
    QCommandLineParser parser;
    addOptions(&parser);
    const QString text = parser.helpText();
    const int start = text.indexOf(QLatin1String("Options:\n"));
    int end = text.indexOf(QLatin1String("\n\n"), start);
    end = end < 0 ? text.size() : end + 1;
    return QString::fromUtf8(usageHead) + text.mid(start, end - start) +
           QString::fromUtf8(usageTail);
}

// The Qt it runs on and its event dispatcher belong in a report of a fault:
// the plug-in is loaded at run time, and the timers of thousands of wrenches
// keep up only on the host's own dispatcher.
QString DHostOptions::versionLine() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return QStringLiteral("wrench_host %1 (Qt %2, event dispatcher %3)")
        .arg(QStringLiteral(WRENCH_VERSION), QString::fromLatin1(qVersion()),
             QString::fromLatin1(dispatcher ? dispatcher->metaObject()->className() : "none"));
}
