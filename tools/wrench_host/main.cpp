#include "d_host_program.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wrench_host"));
    return DHostProgram::exec(QCoreApplication::arguments().mid(1));
}
