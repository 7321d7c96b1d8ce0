#include <d_instruction_router.h>
#include <fcntl.h>
#include <p_device_stahlwille.h>
#include <p_driver_serial.h>
#include <termios.h>
#include <unistd.h>

#include <QtTest>

// The wrench's end of a pseudo-terminal, raw, read without blocking.
class PtyEnd {
public:
    PtyEnd() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            return;
        }
        m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
        const int slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY);
        termios raw{};
        if (slave < 0 || tcgetattr(slave, &raw) != 0) {
            m_slavePath.clear();
        } else {
            cfmakeraw(&raw);
            tcsetattr(slave, TCSANOW, &raw);
        }
        if (slave >= 0) {
            ::close(slave);
        }
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyEnd() { closeMaster(); }

    QString slavePath() const { return m_slavePath; }
    void closeMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }
    bool send(const QByteArray& bytes) {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything received so far.
    QByteArray received() {
        char buffer[256];
        for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;) {
            m_received.append(buffer, int(n));
        }
        return m_received;
    }

private:
    int m_master = -1;
    QString m_slavePath;
    QByteArray m_received;
};

class TstDriverSerialPort : public QObject {
    Q_OBJECT

    QByteArray m_heard;

public:
    bool cbListenReply(quint64, const QVariantMap& reply) {
        m_heard += reply.value("frame").toByteArray();
        return true;
    }

private slots:
    void openFails_data() {
        QTest::addColumn<QVariantMap>("configuration");
        QTest::addColumn<QString>("error");
        QTest::newRow("no port") << QVariantMap()
                                 << "no serial port configured (\"portName\" is empty)";
        QTest::newRow("no such port")
            << QVariantMap{{"portName", "/dev/no-such-wrench-port"}}
            << "cannot open serial port /dev/no-such-wrench-port: No such file or directory";
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

    void bytesFlowBothWays() {
        PtyEnd wrench;
        if (wrench.slavePath().isEmpty()) {
            QSKIP("no pseudo-terminal on this machine");
        }
        PDriverSerial driver;
        driver.setConfiguration({{"portName", wrench.slavePath()}, {"baudRate", 19200}});
        PDeviceStahlwille device;
        device.setDriver(&driver);
        const quint64 listener = DInstructionRouter::instance().addInstruction(
            this, &device, "driver", "listenEventsData", {}, 2000,
            fastdelegate::MakeDelegate(this, &TstDriverSerialPort::cbListenReply));
        QVERIFY(listener != 0 && driver.isLineOpen());

        DInstructionRouter::instance().addInstruction(this, &device, "driver", "write",
                                                      {{"frame", "W1BAT\r"}}, 2000, {});
        QTRY_COMPARE(wrench.received(), QByteArray("W1BAT\r"));
        const QByteArray answer("W1 BAT 87\r\n\x00\xff", 13);
        QVERIFY(wrench.send(answer));
        QTRY_COMPARE(m_heard, answer);

        // The wrench unplugged: the line closes and says why.
        QSignalSpy errors(&driver, &PDriverSerial::sigLineError);
        wrench.closeMaster();
        QTRY_VERIFY(!driver.isLineOpen());
        QCOMPARE(errors.size(), 1);
        // Which of the two depends on how the system reports the hang-up.
        const QString port = "serial port " + wrench.slavePath();
        QVERIFY2(QStringList({port + " is gone", port + " could not be read"})
                     .contains(errors[0][0].toString()),
                 qPrintable(errors[0][0].toString()));
        QVERIFY(DInstructionRouter::instance().stopTheInstruction(this, listener));
    }
};

QTEST_GUILESS_MAIN(TstDriverSerialPort)
#include "tst_driver_serial_port.moc"
