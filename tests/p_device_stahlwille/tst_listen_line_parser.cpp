#include <d_listen_line_parser.h>
#include <log_capture.h>

#include <QtTest>

class TstListenLineParser : public QObject {
    Q_OBJECT

private slots:
    void lines_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("fields"); // in key order, as the panel lists them; empty: no fit
        const auto row = [](const char* tag, const QByteArray& frame, const QString& fields = {}) {
            QTest::newRow(tag) << frame << fields;
        };
        const QByteArray good = "0042 12.50 Nm = 1.25 10:42 05Mar24";
        const QString typical = "0042|1.25s|05Mar24 10:42|=|12.5 Nm";

        row("typical", good, typical);
        row("100.00", "0001 100.00 Nm > 0.80 23:59 31Dec99", "0001|0.80s|31Dec99 23:59|>|100 Nm");
        row("exponent", "0001 1234567.0 Nm < 2.0 00:00 01Jan00",
            "0001|2.0s|01Jan00 00:00|<|1.23457e+06 Nm");
        row("signs, ft.lb", "9999 -3.50 ft.lb = +0.10 08:05 12Feb23",
            "9999|+0.10s|12Feb23 08:05|=|-3.5 ft.lb");
        row("plus dropped", "0007 +3.50 Nm = 1.00 08:05 12Feb23",
            "0007|1.00s|12Feb23 08:05|=|3.5 Nm");
        row("no time", "0042 12.50 Nm = 10:42 05Mar24", "0042|s|05Mar24 10:42|=|12.5 Nm");
        row("sign touching", "0042 12.50 Nm>-0.50 10:42 05Mar24",
            "0042|-0.50s|05Mar24 10:42|>|12.5 Nm");
        row("tabs and runs of blanks", "0042\t12.50  Nm \t=\t1.25   10:42\t05Mar24", typical);
        row("unchecked", "0042 12.50 Nm = 1.25 99:99 00Xyz00",
            "0042|1.25s|00Xyz00 99:99|=|12.5 Nm");
        // Display text only: a torque beyond the double range is shown as such.
        row("beyond double", "0042 " + QByteArray(400, '9') + ".0 Nm = 1.25 10:42 05Mar24",
            "0042|1.25s|05Mar24 10:42|=|inf Nm");
        row("text ends at the first NUL", good + QByteArray("\0junk", 5), typical);
        row("one final LF", good + "\n", typical); // the closing anchor allows it

        row("empty", "");
        row("4 bytes, not looked at", "0042");
        row("5 bytes", "00421");
        row("5 NUL bytes", QByteArray(5, '\0'));
        row("NUL inside", QByteArray("0042 12.50\0 Nm = 1.25 10:42 05Mar24", 35));
        row("leading blank", " " + good);
        row("trailing blank", good + " ");
        row("trailing CR", good + "\r");
        row("trailing CR LF", good + "\r\n");
        row("two lines", good + "\n" + good);
        row("3-digit event", good.mid(1));
        row("5-digit event", "0" + good);
        row("torque without point", "0042 12 Nm = 1.25 10:42 05Mar24");
        row("torque without decimals", "0042 12. Nm = 1.25 10:42 05Mar24");
        row("time without point", "0042 12.50 Nm = 1 10:42 05Mar24");
        row("no sign", "0042 12.50 Nm 1.25 10:42 05Mar24");
        row("sign touching the time of day", "0042 12.50 Nm=10:42 05Mar24");
        row("no blank before the unit", "0042 12.50Nm = 1.25 10:42 05Mar24");
        row("no date", good.left(26));
        row("digit in the unit", "0042 12.50 N2 = 1.25 10:42 05Mar24");
        row("Arabic-Indic digits",
            "\xd9\xa0\xd9\xa0\xd9\xa4\xd9\xa2 12.50 Nm = 1.25 10:42 05Mar24");
        row("non-ASCII unit", "0042 12.50 N\xc2\xb5m = 1.25 10:42 05Mar24");
        row("invalid UTF-8", "0042 12.50 N\xffm = 1.25 10:42 05Mar24");
        row("a record line", "1234,0,-5,0,0,0,0,0,0,1700000000,ok,a,B,NM");
        row("1 MiB of digits", QByteArray(1 << 20, '7'));
    }

    void lines() {
        QFETCH(QByteArray, frame);
        QFETCH(QString, fields);
        const LogCapture log;
        const QVariantMap parsed = DListenLineParser::parse(frame);
        QCOMPARE(parsed.keys().join('|'),
                 fields.isEmpty() ? ""
                                  : "Event number|Execution time|Internal date/time|Sign|Torque");
        QCOMPARE(QVariant(parsed.values()).toStringList().join('|'), fields);
        const bool looked = fields.isEmpty() && frame.size() > 4; // shorter frames are not
        QCOMPARE(log.entries().size(), int(looked));
        QVERIFY(!looked || log.entries()[0].message == "No match found.");
    }

    // The torque is shown as its value written with 6 significant digits; the
    // short texts are read off the line, and must come out the same.
    void torque_data() {
        QTest::addColumn<QByteArray>("torque");
        for (const char* torque :
             {"12.50",    "000012.50", "-3.75",    "+3.75",    "0.5",       "-0.50",
              "120.0",    "100000.0",  "999999.0", "999999.5", "1000000.0", "123456.7",
              "0.123456", "0.1234567", "0.001",    "0.0015",   "0.0001",    "0.00001",
              "0.00",     "-0.00",     "+0.00",    "7.000001", "10.10",     "00.010"}) {
            QTest::newRow(torque) << QByteArray(torque);
        }
    }

    void torque() {
        QFETCH(QByteArray, torque);
        const QVariantMap parsed =
            DListenLineParser::parse("0042 " + torque + " Nm = 1.25 10:42 05Mar24");
        QCOMPARE(parsed.value("Torque").toString(),
                 QString::number(torque.toDouble(), 'g', 6) + " Nm");
    }
};

QTEST_GUILESS_MAIN(TstListenLineParser)
#include "tst_listen_line_parser.moc"
