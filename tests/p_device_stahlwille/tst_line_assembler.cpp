#include <d_line_assembler.h>

#include <QtTest>

using Chunks = QList<QByteArray>;
using Lines = QList<QByteArray>;

class TstLineAssembler : public QObject {
    Q_OBJECT

private slots:
    void cutsLines_data();
    void cutsLines();
    void floodStaysWithinCap();
};

void TstLineAssembler::cutsLines_data() {
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QByteArray>("pending");

    const QByteArray cap(DLineAssembler::maxLineLength, 'x');

    QTest::newRow("CR LF ends one line") << Chunks{"W1OK\r\n"} << Lines{"W1OK"} << QByteArray();
    QTest::newRow("LF alone") << Chunks{"W1OK\n"} << Lines{"W1OK"} << QByteArray();
    QTest::newRow("split inside the line") << Chunks{"W1", "OK\r"} << Lines{"W1OK"} << QByteArray();
    QTest::newRow("split between CR and LF")
        << Chunks{"W1OK\r", "\nW1?\r"} << Lines{"W1OK", "W1?"} << QByteArray();
    QTest::newRow("two lines in one reply")
        << Chunks{"W1OK\rW1no new saved\r"} << Lines{"W1OK", "W1no new saved"} << QByteArray();
    QTest::newRow("empty lines yield nothing") << Chunks{"\r\n\r\r\n"} << Lines{} << QByteArray();
    QTest::newRow("tail waits for its line end")
        << Chunks{"W1OK\rW1O"} << Lines{"W1OK"} << QByteArray("W1O");
    QTest::newRow("empty chunk") << Chunks{"", "W1OK\r", ""} << Lines{"W1OK"} << QByteArray();
    QTest::newRow("NUL bytes are kept")
        << Chunks{QByteArray("W1\0OK\r", 6)} << Lines{QByteArray("W1\0OK", 5)} << QByteArray();
    QTest::newRow("a line at the cap passes") << Chunks{cap + "\r"} << Lines{cap} << QByteArray();
    QTest::newRow("a line over the cap is dropped whole")
        << Chunks{cap + "yW1OK\rW1OK\r"} << Lines{"W1OK"} << QByteArray();
    QTest::newRow("over the cap across replies")
        << Chunks{cap.left(3000), cap.left(3000), "OK\r", "W1OK\r"} << Lines{"W1OK"}
        << QByteArray();
    QTest::newRow("resynchronises on LF too")
        << Chunks{cap + "z", "\nOK\n"} << Lines{"OK"} << QByteArray();
}

void TstLineAssembler::cutsLines() {
    QFETCH(Chunks, chunks);
    QFETCH(Lines, lines);
    QFETCH(QByteArray, pending);

    DLineAssembler assembler;
    Lines seen;
    for (const auto& chunk : chunks) {
        assembler.feed(chunk, [&seen](const QByteArray& line) { seen.append(line); });
    }
    QCOMPARE(seen, lines);
    QCOMPARE(assembler.pending(), pending);
}

void TstLineAssembler::floodStaysWithinCap() {
    DLineAssembler assembler;
    const QByteArray chunk(64 * 1024, 'g');
    int lines = 0;
    for (int i = 0; i < 32; ++i) {
        assembler.feed(chunk, [&lines](const QByteArray&) { ++lines; });
        QVERIFY(assembler.pending().size() <= DLineAssembler::maxLineLength);
        QVERIFY(assembler.pending().capacity() <= 2 * DLineAssembler::maxLineLength);
    }
    QCOMPARE(lines, 0);
    assembler.feed("\rW1OK\r", [&lines](const QByteArray& line) {
        QCOMPARE(line, QByteArray("W1OK"));
        ++lines;
    });
    QCOMPARE(lines, 1);
}

QTEST_GUILESS_MAIN(TstLineAssembler)
#include "tst_line_assembler.moc"
