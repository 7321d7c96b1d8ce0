#pragma once

#include <QString>

#include <memory>

class DHostOptions;
class DResultForwarder;
class DResultSink;
class DResultStore;

// What --store and --mqtt ask for, for the whole program: the store (a file,
// or memory only when just --mqtt is given) and the forwarder to the broker.
class DResultOutputs {
public:
    static constexpr int sendOnExitLimitMs = 10000;

    DResultOutputs();
    ~DResultOutputs();

    // Opens the store and starts forwarding what it holds; statusSerial names
    // the wrench whose status the broker connection keeps. False, with the
    // reason, when the store cannot be used.
    bool open(const DHostOptions& options, const QString& statusSerial, QString* error);
    // Without either option, a store in memory for this run.
    DResultSink* sink() const;
    // Before the program ends: waits a while for the broker to acknowledge
    // what is queued, and says what stays queued. False when results that
    // only memory held were not delivered, or the broker refused the login.
    bool finish();

private:
    std::unique_ptr<DResultStore> m_store;
    std::unique_ptr<DResultForwarder> m_forwarder;
};
