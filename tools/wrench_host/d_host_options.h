#pragma once

#include "d_mqtt_target.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The command line of wrench_host: what to do, and how to reach the wrench.
// Options may stand anywhere among the words; "--" ends them.
class DHostOptions {
public:
    static constexpr int defaultTimeLimitMs = 20000;
    static constexpr int defaultReconnectLimitMs = 30000;

    // False, with a one-line reason, when the words do not make a command
    // line; help and version alone are always valid.
    bool parse(const QStringList& arguments, QString* error);

    static QString usage();
    // "wrench_host 1.0 (Qt 5.15.8, event dispatcher DEventDispatcher)"
    static QString versionLine();

    // "list", "run", "listen", "script", "help" or "export"; empty with
    // --help or --version.
    QString verb;
    // The words after the verb that are not options.
    QStringList words;

    QString pluginPath;
    QString configPath;
    QString portName;
    int baudRate = 9600;

    QString simSerial = QStringLiteral("W1");
    QString simFaults;
    int simTightenings = 0;
    int simEveryMs = 1500;
    quint32 seed = 1;

    // 0: not given.
    int timeLimitMs = 0;
    // How long the port may stay away before the run fails; 0: keep trying.
    int reconnectLimitMs = defaultReconnectLimitMs;
    int count = 0;
    bool trace = false;
    bool quiet = false;
    bool help = false;
    bool version = false;

    // Empty: no store.
    QString storePath;
    bool hasMqtt = false;
    DMqttTarget mqtt;
    bool csv = false;
    bool jsonl = false;
    // Invalid: every result.
    QDateTime since;

private:
    static void addOptions(QCommandLineParser* parser);
    static QString parseError(const QCommandLineParser& parser);
    bool takeValues(const QCommandLineParser& parser, QString* error);
    bool takeOption(const QString& name, const QString& value, QString* error);
    bool takeMqttOption(const QString& name, const QString& value, QString* error);
    bool completeMqtt(QString* error);
    bool takeSince(const QString& text, QString* error);
    bool checkVerb(QString* error) const;
    bool checkExport(QString* error) const;
    static bool toNumber(const QString& name, const QString& text, qint64 minimum, qint64 maximum,
                         qint64* number, QString* error);
};
