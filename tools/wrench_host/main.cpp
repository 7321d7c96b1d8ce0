#include "d_event_dispatcher.h"
#include "d_host_program.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    // Timers that scale with their number: one host may serve many wrenches.
    QCoreApplication::setEventDispatcher(new DEventDispatcher);
    QCoreApplication application(argc, argv);
    return DHostProgram::exec(QCoreApplication::arguments().mid(1));
}
