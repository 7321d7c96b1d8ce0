#include "d_sim_options.h"

#include "d_sim_wrench.h"

#include <QCommandLineParser>

namespace {

const char serialOption[] = "sim-serial";
const char faultOption[] = "sim-fault";
const char tighteningsOption[] = "sim-tightenings";
const char everyOption[] = "sim-every";
const char seedOption[] = "seed";

bool readCount(const QCommandLineParser& parser, const char* name, int* value, QString* error) {
    if (!parser.isSet(name)) {
        return true;
    }
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < 0) {
        *error = QString("bad value for --%1: '%2' (a whole number, 0 or more)")
                     .arg(name, parser.value(name));
        return false;
    }
    *value = number;
    return true;
}

} // namespace

void DSimOptions::addTo(QCommandLineParser* parser) {
    parser->addOption(
        {serialOption, "Serial ID of the simulated wrench (default W1).", "ID", "W1"});
    parser->addOption(
        {faultOption,
         "Faults the simulated wrench plays, comma-separated: silent, refuse, "
         "split, crlf, garbage, repeat, flood, sametime, delivered, foreign, damaged, "
         "refuseclear[=N].",
         "LIST"});
    parser->addOption(
        {tighteningsOption, "Number of tightenings the simulated wrench makes (default 0).", "N"});
    parser->addOption(
        {everyOption, "Milliseconds between simulated tightenings (default 1500).", "MS", "1500"});
    parser->addOption({seedOption, "Seed of the simulated wrench's randomness (default 1).", "N"});
}

bool DSimOptions::read(const QCommandLineParser& parser, QString* error) {
    QString message;
    if (!error) {
        error = &message;
    }
    if (parser.isSet(serialOption)) {
        serialId = parser.value(serialOption).toUtf8();
    }
    QString unknown;
    if (!DSimFaults::fromList(parser.value(faultOption), &faults, &unknown)) {
        *error = QString("bad value for --%1: unknown fault '%2'").arg(faultOption, unknown);
        return false;
    }
    if (!readCount(parser, tighteningsOption, &tightenings, error) ||
        !readCount(parser, everyOption, &everyMs, error)) {
        return false;
    }
    if (parser.isSet(seedOption)) {
        bool ok = false;
        const uint value = parser.value(seedOption).toUInt(&ok);
        if (!ok) {
            *error = QString("bad value for --%1: '%2' (a whole number, 0 or more)")
                         .arg(seedOption, parser.value(seedOption));
            return false;
        }
        seed = value;
    }
    return true;
}

DSimWrench* DSimOptions::makeWrench(QObject* parent) const {
    auto* wrench = new DSimWrench(serialId, faults, seed, parent);
    if (tightenings > 0) {
        wrench->startTightenings(tightenings, everyMs);
    }
    return wrench;
}
