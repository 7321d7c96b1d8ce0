#include <d_listen_line_parser.h>

#include <QtTest>

namespace {

QStringList g_messages; // every message logged while a test function parses

void collect(QtMsgType, const QMessageLogContext&, const QString& message) {
    g_messages.append(message);
}

QVariantMap fields(const char* event, const char* torque, const char* sign, const char* time,
                   const char* dateTime) {
    return {{"Event number", event},
            {"Torque", torque},
            {"Sign", sign},
            {"Execution time", time},
            {"Internal date/time", dateTime}};
}

} // namespace

class TstListenLineParser : public QObject {
    Q_OBJECT

private slots:
    void init() {
        g_messages.clear();
        qInstallMessageHandler(collect);
    }
    void cleanup() { qInstallMessageHandler(nullptr); }

    void lines_data();
    void lines();
};

void TstListenLineParser::lines_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QVariantMap>("expected"); // empty when the line does not fit
    QTest::addColumn<bool>("logged");          // "No match found." once

    const QVariantMap none;
    const auto line = [](const char* tag, const QByteArray& frame, const QVariantMap& expected) {
        QTest::newRow(tag) << frame << expected << expected.isEmpty();
    };
    const QVariantMap typical = fields("0042", "12.5 Nm", "=", "1.25s", "05Mar24 10:42");

    line("typical", "0042 12.50 Nm = 1.25 10:42 05Mar24", typical);
    line("100.00 is 100", "0001 100.00 Nm > 0.80 23:59 31Dec99",
         fields("0001", "100 Nm", ">", "0.80s", "31Dec99 23:59"));
    line("seven digits switch to an exponent", "0001 1234567.0 Nm < 2.0 00:00 01Jan00",
         fields("0001", "1.23457e+06 Nm", "<", "2.0s", "01Jan00 00:00"));
    line("signed torque, unit with points", "9999 -3.50 ft.lb = +0.10 08:05 12Feb23",
         fields("9999", "-3.5 ft.lb", "=", "+0.10s", "12Feb23 08:05"));
    line("plus sign dropped from the torque", "0007 +3.50 Nm = 1.00 08:05 12Feb23",
         fields("0007", "3.5 Nm", "=", "1.00s", "12Feb23 08:05"));
    line("no execution time", "0042 12.50 Nm = 10:42 05Mar24",
         fields("0042", "12.5 Nm", "=", "s", "05Mar24 10:42"));
    line("sign touching both neighbours", "0042 12.50 Nm=1.25 10:42 05Mar24", typical);
    line("signed time touching the sign", "0042 12.50 Nm>-0.50 10:42 05Mar24",
         fields("0042", "12.5 Nm", ">", "-0.50s", "05Mar24 10:42"));
    line("tabs and runs of blanks", "0042\t12.50  Nm \t=\t1.25   10:42\t05Mar24", typical);
    // Display text only: a torque beyond the double range is shown as such.
    line("torque beyond the double range",
         "0042 " + QByteArray(400, '9') + ".0 Nm = 1.25 10:42 05Mar24",
         fields("0042", "inf Nm", "=", "1.25s", "05Mar24 10:42"));
    line("no plausibility test on date and time", "0042 12.50 Nm = 1.25 99:99 00Xyz00",
         fields("0042", "12.5 Nm", "=", "1.25s", "00Xyz00 99:99"));
    line("text ends at the first NUL", QByteArray("0042 12.50 Nm = 1.25 10:42 05Mar24\0junk", 39),
         typical);
    // The closing anchor also matches before one final line feed.
    line("one final line feed", "0042 12.50 Nm = 1.25 10:42 05Mar24\n", typical);

    QTest::newRow("empty") << QByteArray() << none << false;
    QTest::newRow("4 bytes, not looked at") << QByteArray("0042") << none << false;
    QTest::newRow("4 bytes of NUL") << QByteArray(4, '\0') << none << false;
    line("5 bytes", "00421", none);
    line("5 NUL bytes", QByteArray(5, '\0'), none);
    line("NUL inside the line", QByteArray("0042 12.50\0 Nm = 1.25 10:42 05Mar24", 35), none);
    line("leading blank", " 0042 12.50 Nm = 1.25 10:42 05Mar24", none);
    line("trailing blank", "0042 12.50 Nm = 1.25 10:42 05Mar24 ", none);
    line("trailing CR", "0042 12.50 Nm = 1.25 10:42 05Mar24\r", none);
    line("trailing CR LF", "0042 12.50 Nm = 1.25 10:42 05Mar24\r\n", none);
    line("two lines in one frame",
         "0042 12.50 Nm = 1.25 10:42 05Mar24\n0043 12.50 Nm = 1.25 10:42 05Mar24", none);
    line("3-digit event number", "042 12.50 Nm = 1.25 10:42 05Mar24", none);
    line("5-digit event number", "00042 12.50 Nm = 1.25 10:42 05Mar24", none);
    line("torque without decimal point", "0042 12 Nm = 1.25 10:42 05Mar24", none);
    line("torque without decimals", "0042 12. Nm = 1.25 10:42 05Mar24", none);
    line("execution time without point", "0042 12.50 Nm = 1 10:42 05Mar24", none);
    line("no sign", "0042 12.50 Nm 1.25 10:42 05Mar24", none);
    line("sign touching the time of day", "0042 12.50 Nm=10:42 05Mar24", none);
    line("no blank before the unit", "0042 12.50Nm = 1.25 10:42 05Mar24", none);
    line("no date", "0042 12.50 Nm = 1.25 10:42", none);
    line("digit in the unit", "0042 12.50 N2 = 1.25 10:42 05Mar24", none);
    line("Arabic-Indic digits", "\xd9\xa0\xd9\xa0\xd9\xa4\xd9\xa2 12.50 Nm = 1.25 10:42 05Mar24",
         none);
    line("full-width digits in the date",
         "0042 12.50 Nm = 1.25 10:42 \xef\xbc\x90\xef\xbc\x95Mar24", none);
    line("non-ASCII letter in the unit", "0042 12.50 N\xc2\xb5m = 1.25 10:42 05Mar24", none);
    line("invalid UTF-8", "0042 12.50 N\xffm = 1.25 10:42 05Mar24", none);
    line("a record line of the listen command", "1234,0,-5,0,0,0,0,0,0,1700000000,ok,a,B,NM", none);
    line("a long run of digits", QByteArray(1 << 20, '7'), none);
}

void TstListenLineParser::lines() {
    QFETCH(QByteArray, frame);
    QFETCH(QVariantMap, expected);
    QFETCH(bool, logged);

    QCOMPARE(DListenLineParser::parse(frame), expected);
    QCOMPARE(g_messages, logged ? QStringList{"No match found."} : QStringList());
}

QTEST_GUILESS_MAIN(TstListenLineParser)
#include "tst_listen_line_parser.moc"
