#include <fcntl.h>
#include <p_driver_serial.h>
#include <unistd.h>

#include <QtTest>

// Bytes over a pseudo-terminal, and the host's report of a lost port, are run
// end to end with the wrench program (scenarios, wrench_host).
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

    // The wrench unplugged: the driver closes the line itself, and says so once.
    void portLost() {
        const int wrench = posix_openpt(O_RDWR | O_NOCTTY);
        if (wrench < 0 || grantpt(wrench) != 0 || unlockpt(wrench) != 0) {
            QSKIP("no pseudo-terminal on this machine");
        }
        PDriverSerial driver;
        driver.setConfiguration({{"portName", QString::fromLocal8Bit(ptsname(wrench))}});
        QSignalSpy errors(&driver, &PDriverSerial::sigLineError);
        QVERIFY(driver.openLine() && driver.isLineOpen());
        ::close(wrench);
        QTRY_VERIFY(!driver.isLineOpen());
        QCOMPARE(errors.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstDriverSerialPort)
#include "tst_driver_serial_port.moc"
