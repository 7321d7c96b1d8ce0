#pragma once

#include "d_sim_faults.h"

#include <QByteArray>
#include <QString>

class DSimWrench;
class QCommandLineParser;
class QObject;

// The simulated wrench's command-line options, in one place for every program
// that builds one: --sim-serial ID, --sim-fault LIST, --sim-tightenings N,
// --sim-every MS and --seed N.
class DSimOptions {
public:
    static void addTo(QCommandLineParser* parser);

    // Takes the options from a parser that has parsed the command line. False,
    // with a one-line message naming the option, when a value does not do.
    bool read(const QCommandLineParser& parser, QString* error);

    // A wrench with these options, its tightenings started.
    DSimWrench* makeWrench(QObject* parent = nullptr) const;

    QByteArray serialId = "W1";
    DSimFaults faults;
    int tightenings = 0;
    int everyMs = 1500;
    quint32 seed = 1;
};
