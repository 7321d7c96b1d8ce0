#pragma once

#include <QString>
#include <QStringList>

// The command line of wrench_host: what to do, and how to reach the wrench.
// Options may stand anywhere among the words.
class DHostOptions {
public:
    static constexpr int defaultTimeLimitMs = 20000;

    // False, with a one-line reason, when the words do not make a command
    // line; help alone is always valid.
    bool parse(const QStringList& arguments, QString* error);

    static QString usage();

    // "list", "run", "listen" or "script"; empty with help.
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
    int count = 0;
    bool trace = false;
    bool help = false;

private:
    bool takeOption(const QString& name, const QString& value, QString* error);
    bool checkVerb(QString* error) const;
    static bool isValueOption(const QString& name);
    static bool toNumber(const QString& name, const QString& text, qint64 minimum, qint64 maximum,
                         qint64* number, QString* error);
};
