#include <QtTest>

class TstInstructionRouter : public QObject {
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TstInstructionRouter)
#include "tst_instruction_router.moc"
