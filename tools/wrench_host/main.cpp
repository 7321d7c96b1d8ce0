#include "d_event_dispatcher.h"
#include "d_host_program.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char* argv[]) {
    // Timers that scale with their number: one host may serve many wrenches.
    QCoreApplication::setEventDispatcher(new DEventDispatcher);
    QCoreApplication application(argc, argv);
    // A reader that went away is a write error to report, not a silent death
    // between a result and its clear.
    std::signal(SIGPIPE, SIG_IGN);
    return DHostProgram::exec(QCoreApplication::arguments().mid(1));
}
