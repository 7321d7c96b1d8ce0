#include <p_driver_serial.h>

#include <QtTest>

// The bytes over a pseudo-terminal, and the port lost under a listen, are
// exercised end to end with the wrench program (scenarios, wrench_host).
class TstDriverSerialPort : public QObject {
    Q_OBJECT

private slots:
    void openFails_data() {
        QTest::addColumn<QVariantMap>("configuration");
        QTest::addColumn<QString>("error");
        QTest::newRow("no port") << QVariantMap()
                                 << "no serial port configured (\"portName\" is empty)";
        QTest::newRow("baud rate not a number")
            << QVariantMap{{"portName", "/dev/no-such-wrench-port"}, {"baudRate", "fast"}}
            << "invalid baud rate for serial port /dev/no-such-wrench-port";
    }
    void openFails() {
        QFETCH(QVariantMap, configuration);
        PDriverSerial driver;
        driver.setConfiguration(configuration);
        QSignalSpy errors(&driver, &PDriverSerial::sigLineError);
        QString error;
        QVERIFY(!driver.openLine(&error) && !driver.isLineOpen());
        QTEST(error, "error");
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(), error);
        QVERIFY(!driver.writeToLine("W1BAT\r"));
    }
};

QTEST_GUILESS_MAIN(TstDriverSerialPort)
#include "tst_driver_serial_port.moc"
