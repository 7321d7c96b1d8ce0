#include <d_data_storage.h>
#include <fast_delegate.h>
#include <utilities.h>

#include <QtTest>

namespace {

using Delegate = fastdelegate::FastDelegate2<int, int, int>;

// A plain class: no vtable.
struct Counter {
    int calls = 0;
    int add(int a, int b) { return ++calls, a + b; }
    int sub(int a, int b) { return ++calls, a - b; }
    int mix(int a, int b, int c) { return ++calls, a * b + c; }
};

struct Right {
    virtual ~Right() = default;
    virtual int hit(int a, int b) { return a - b; }
    int note(int a, int b) { return seen = a * b; }
    int seen = 0;
};
// Methods of a second base class, one overridden: the delegate must adjust the
// object pointer and dispatch virtually.
struct Both : Counter, Right {
    int hit(int a, int b) override { return a + b; }
};

} // namespace

class TstFrameworkBasics : public QObject {
    Q_OBJECT

private slots:
    void properties_data() {
        QTest::addColumn<bool>("announce");
        QTest::newRow("announced") << true;
        QTest::newRow("kept quietly") << false;
    }
    void properties() {
        QFETCH(bool, announce);
        DDataStorage storage;
        bool ok = true;
        QCOMPARE(storage.getProperty("speed", &ok), QVariant());
        QVERIFY(!ok);
        QSignalSpy changed(&storage, &DDataStorage::sigPropertyChanged);
        storage.setProperty("speed", 9600, announce);
        QCOMPARE(changed.count(), announce ? 1 : 0);
        if (announce) {
            QCOMPARE(changed.first(), (QVariantList{"speed", 9600}));
        }
        QCOMPARE(storage.getProperty("speed", &ok), QVariant(9600));
        QVERIFY(ok);
        storage.setProperty("unset", QVariant(), false);
        QVERIFY(!storage.getProperty("unset", &ok).isValid());
        QVERIFY(ok); // stored, though invalid
    }

    void delegateCallsItsObjectAndMethod() {
        Delegate none;
        QVERIFY(none.empty());
        QVERIFY(!none);
        Counter bound, other;
        const Delegate add = fastdelegate::MakeDelegate(&bound, &Counter::add);
        QVERIFY(!add.empty() && add);
        const Delegate sub(&bound, &Counter::sub);
        QCOMPARE(add(5, 3), 8);
        QCOMPARE(sub(5, 3), 2);
        QCOMPARE(bound.calls, 2);
        QCOMPARE(other.calls, 0);

        const fastdelegate::FastDelegate3<int, int, int, int> mix(&bound, &Counter::mix);
        QCOMPARE(mix(2, 3, 4), 10);

        Both both;
        QCOMPARE(Delegate(&both, &Right::hit)(2, 3), 5);
        QCOMPARE(Delegate(&both, &Right::note)(2, 3), 6);
        QCOMPARE(both.seen, 6);
        QCOMPARE(both.calls, 0);
    }

    void delegateEquality() {
        Counter a, b;
        Delegate cleared(&a, &Counter::add);
        cleared.clear();
        QVERIFY(Delegate(&a, &Counter::add) == fastdelegate::MakeDelegate(&a, &Counter::add));
        QVERIFY(Delegate(&a, &Counter::add) != Delegate(&b, &Counter::add));
        QVERIFY(Delegate(&a, &Counter::add) != Delegate(&a, &Counter::sub));
        QVERIFY(Delegate(&a, &Counter::add) != Delegate());
        QVERIFY(cleared == Delegate());
    }

    void versionFromString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<quint64>("expected");
        QTest::addColumn<bool>("valid");
        const QChar dot('.');
        QTest::newRow("major.minor") << "1.0" << dot << Q_UINT64_C(0x0001000000000000) << true;
        QTest::newRow("three") << "2.3.1" << dot << Q_UINT64_C(0x0002000300010000) << true;
        QTest::newRow("four") << "1.2.3.4" << dot << Q_UINT64_C(0x0001000200030004) << true;
        QTest::newRow("one") << "7" << dot << Q_UINT64_C(0x0007000000000000) << true;
        QTest::newRow("65535") << "65535.0.0.65535" << dot << Q_UINT64_C(0xFFFF00000000FFFF)
                               << true;
        QTest::newRow("custom separator")
            << "1,2" << QChar(',') << Q_UINT64_C(0x0001000200000000) << true;
        QTest::newRow("too many components") << "1.2.3.4.5" << dot << quint64(0) << false;
        QTest::newRow("empty") << "" << dot << quint64(0) << false;
        QTest::newRow("empty component") << "1..2" << dot << quint64(0) << false;
        QTest::newRow("trailing separator") << "1." << dot << quint64(0) << false;
        QTest::newRow("non-numeric") << "1.x" << dot << quint64(0) << false;
        QTest::newRow("hexadecimal") << "0x1.0" << dot << quint64(0) << false;
        QTest::newRow("negative") << "-1.0" << dot << quint64(0) << false;
        QTest::newRow("above 65535") << "1.65536" << dot << quint64(0) << false;
        QTest::newRow("other separator") << "1.2" << QChar(',') << quint64(0) << false;
        QTest::newRow("space in a component") << "1. 2" << dot << quint64(0) << false;
        QTest::newRow("sign in a component") << "1.+2" << dot << quint64(0) << false;
    }
    void versionFromString() {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QFETCH(quint64, expected);
        QFETCH(bool, valid);
        bool ok = !valid;
        const quint64 version = ::versionFromString(text, &ok, separator);
        QCOMPARE(ok, valid);
        QCOMPARE(version, expected);
    }

    void getDate() {
        const QString now = ::getDate();
        const QDateTime parsed = QDateTime::fromString(now, "yyyy-MM-dd hh:mm:ss.zzz");
        QVERIFY2(parsed.isValid(), qPrintable(now));
        QVERIFY(qAbs(parsed.msecsTo(QDateTime::currentDateTime())) < 60 * 1000);
    }
};

QTEST_GUILESS_MAIN(TstFrameworkBasics)
#include "tst_framework_basics.moc"
