// wrench_sim: a simulated wrench served on a pseudo-terminal.

#include "d_sim_options.h"
#include "d_sim_pty_server.h"
#include "d_sim_wrench.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}

// SIGINT and SIGTERM end the event loop: the program exits 0.
bool quitOnSignals(QCoreApplication* app) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [app] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        app->quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

// What the wrench did, for a test that checks the host against it: "made
// LINE" as each tightening is saved (flushed at once); at exit "created LINE"
// for every record the wrench made, those it held before any host asked
// among them, and "held LINE" for each record still saved.
bool keepLedger(const QString& path, DSimWrench* wrench, QCoreApplication* app) {
    auto* ledger = new QFile(path, app);
    if (!ledger->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QObject::connect(wrench, &DSimWrench::tightened, ledger, [ledger](const QByteArray& line) {
        ledger->write("made " + line + '\n');
        ledger->flush();
    });
    QObject::connect(app, &QCoreApplication::aboutToQuit, ledger, [ledger, wrench] {
        for (const QByteArray& line : wrench->createdRecords()) {
            ledger->write("created " + line + '\n');
        }
        for (const QByteArray& line : wrench->savedRecords()) {
            ledger->write("held " + line + '\n');
        }
        ledger->flush();
    });
    return true;
}

int usageError(const QString& message) {
    std::fprintf(stderr, "wrench_sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    app.setApplicationName("wrench_sim");
    app.setApplicationVersion(WRENCH_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A simulated torque wrench on a pseudo-terminal. Prints the slave device's path on one "
        "line, then serves until SIGINT or SIGTERM.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption pty("pty", "Serve the wrench on a new pseudo-terminal.");
    parser.addOption(pty);
    const QCommandLineOption ledger(
        "ledger", "Write each tightening made, and at exit each record still held, to FILE.",
        "FILE");
    parser.addOption(ledger);
    DSimOptions::addTo(&parser);

    if (!parser.parse(app.arguments())) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("wrench_sim %s\n", WRENCH_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(
            QString("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }
    DSimOptions options;
    QString error;
    if (!options.read(parser, &error)) {
        return usageError(error);
    }
    if (!parser.isSet(pty)) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }

    std::unique_ptr<DSimWrench> wrench(options.makeWrench());
    DSimPtyServer server(wrench.get());
    if (!server.open(&error)) {
        std::fprintf(stderr, "wrench_sim: cannot make a pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    if (parser.isSet(ledger) && !keepLedger(parser.value(ledger), wrench.get(), &app)) {
        std::fprintf(stderr, "wrench_sim: cannot write the ledger %s\n",
                     qPrintable(parser.value(ledger)));
        return 1;
    }
    if (!quitOnSignals(&app)) {
        std::fprintf(stderr, "wrench_sim: cannot watch for signals\n");
        return 1;
    }
    QObject::connect(&server, &DSimPtyServer::failed, &app, [](const QString& reason) {
        std::fprintf(stderr, "wrench_sim: %s\n", qPrintable(reason));
        QCoreApplication::exit(1);
    });
    std::printf("%s\n", qPrintable(server.slavePath()));
    std::fflush(stdout);
    return app.exec();
}
