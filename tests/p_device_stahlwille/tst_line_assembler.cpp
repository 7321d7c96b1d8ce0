#include <d_line_assembler.h>

#include <QtTest>

using Lines = QList<QByteArray>;

class TstLineAssembler : public QObject {
    Q_OBJECT

private slots:
    // The chunks fed in turn; the lines handed on, then the partial line left.
    void cutsLines_data() {
        QTest::addColumn<Lines>("chunks");
        QTest::addColumn<Lines>("lines");
        const QByteArray cap(DLineAssembler::maxLineLength, 'x'), flood(64 * 1024, 'g');
        QTest::newRow("line ends") << Lines{"", "W1", "OK\r", "\nW1?\n\r\n\r", "W1a\rW1b\rW1O"}
                                   << Lines{"W1OK", "W1?", "W1a", "W1b", "W1O"};
        QTest::newRow("NUL kept") << Lines{QByteArray("W1\0OK\r", 6)}
                                  << Lines{QByteArray("W1\0OK", 5), ""};
        QTest::newRow("at the cap") << Lines{cap + "\r"} << Lines{cap, ""};
        QTest::newRow("over the cap") << Lines{cap + "yW1OK\rW1OK\r"} << Lines{"W1OK", ""};
        QTest::newRow("over the cap across chunks, LF")
            << Lines{cap.left(3000), cap.left(3000), "OK\nW1OK", "\r"} << Lines{"W1OK", ""};
        QTest::newRow("flood") << Lines{flood, flood, flood, "\rW1OK\r"} << Lines{"W1OK", ""};
    }

    void cutsLines() {
        QFETCH(Lines, chunks);
        DLineAssembler assembler;
        Lines seen;
        for (const QByteArray& chunk : chunks) {
            assembler.feed(chunk, [&seen](const QByteArray& line) { seen.append(line); });
            QVERIFY(assembler.pending().capacity() <= 2 * DLineAssembler::maxLineLength);
        }
        QTEST(seen << assembler.pending(), "lines");
    }
};

QTEST_GUILESS_MAIN(TstLineAssembler)
#include "tst_line_assembler.moc"
