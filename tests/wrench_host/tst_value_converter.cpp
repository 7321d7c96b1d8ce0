#include <d_c_escape.h>
#include <d_config_check.h>
#include <d_host_clock.h>
#include <d_script_reader.h>
#include <d_value_converter.h>

#include <QtTest>

class TstValueConverter : public QObject {
    Q_OBJECT

private slots:
    // A type tag and a typed value; the converted value (type and content),
    // or, when it does not convert, a part of the message.
    void convert_data() {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QString>("errorPart");
        const auto good = [](const char* name, const char* tag, const QString& text,
                             const QVariant& expected) {
            QTest::newRow(name) << QString(tag) << text << expected << QString();
        };
        const auto bad = [](const char* name, const char* tag, const QString& text,
                            const char* errorPart) {
            QTest::newRow(name) << QString(tag) << text << QVariant() << QString(errorPart);
        };
        good("bool true", "bool", "true", true);
        bad("bool yes", "bool", "yes", "expected bool (true or false)");

        good("uint max", "uint", "4294967295", 4294967295u);
        good("uint leading zero", "uint", "007", 7u);
        bad("uint max + 1", "uint", "4294967296", "expected uint (a whole number from 0");
        bad("uint negative", "uint", "-1", "expected uint");
        bad("uint 20 digits", "uint", "99999999999999999999", "expected uint");

        good("int min", "int", "-2147483648", std::numeric_limits<int>::min());
        good("int max", "int", "2147483647", std::numeric_limits<int>::max());
        bad("int max + 1", "int", "2147483648", "expected int (a whole number from -2147483648");
        bad("int min - 1", "int", "-2147483649", "expected int");

        good("strg keeps backslash", "strg", "a\\rb", QString("a\\rb"));

        // Escapes beyond the round trip's.
        good("byAr backslash quote", "byAr", "\\\\\\\"\\'", QByteArray("\\\"'"));
        good("byAr escape letters", "byAr", "\\a\\b\\f\\v\\e", QByteArray("\a\b\f\v\x1b"));
        good("byAr hex one digit", "byAr", "\\xfg", QByteArray("\x0fg"));
        good("byAr octal", "byAr", "\\101\\0101",
             QByteArray("A\x08"
                        "1"));
        good("byAr utf-8", "byAr", QString::fromUtf8("\xc2\xb0"), QByteArray("\xc2\xb0"));
        bad("byAr unknown escape", "byAr", "\\q", "unknown escape \\q");
        bad("byAr lone backslash", "byAr", "ab\\", "a lone backslash at the end");
        bad("byAr hex without digit", "byAr", "\\xg", "\\x without a hex digit");
        bad("byAr octal too big", "byAr", "\\400", "above \\377");

        good("varM", "varM", R"({"3":{"targetTorque":12.5,"priority":"angle"}})",
             QVariantMap{{"3", QVariantMap{{"targetTorque", 12.5}, {"priority", "angle"}}}});
        bad("varM array", "varM", "[1,2]", "expected varM (a JSON object): not an object");
        bad("varM text", "varM", "presets", "at offset");

        bad("unknown tag", "real", "1.5", "no conversion for the type tag \"real\"");
    }
    void convert() {
        QFETCH(QString, tag);
        QFETCH(QString, text);
        QFETCH(QVariant, expected);
        QFETCH(QString, errorPart);

        QVariant value;
        QString error;
        const bool converted = DValueConverter::convert(tag, text, &value, &error);
        QCOMPARE(converted, errorPart.isEmpty());
        if (converted) {
            QCOMPARE(value.userType(), expected.userType());
            QCOMPARE(value, expected);
        } else {
            QVERIFY2(error.contains(errorPart), qPrintable(error));
        }
    }

    // A configuration as a file gives it: accepted or the error, and the
    // warnings, joined by newlines.
    void configuration_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("warnings");
        const auto row = [](const char* name, const char* text, const char* error,
                            const char* warnings = "") {
            QTest::newRow(name) << QByteArray(text) << QString(error) << QString(warnings);
        };
        // What the plug-in converts fully and correctly.
        row("as the plug-in reads them",
            R"({"serialId": 4711, "lock": "true", "program": "3", "timeout": " 250 ",
                "frame": null, "presets": {"3": {"angle": "7.5", "targetTorque": null,
                "priority": "TORQUE "}}})",
            "");
        row("booleans as words and digits", R"({"lock": "FALSE", "parallelListening": 1})", "");
        // What would send a frame nobody meant.
        row("torque with a comma", R"({"presets": {"3": {"targetTorque": "12,5"}}})",
            "preset \"3\": \"targetTorque\" must be a number, not \"12,5\"");
        row("torque with its unit", R"({"presets": {"3": {"angle": "12.5 Nm"}}})",
            "\"angle\" must be a number");
        row("a boolean for a torque", R"({"presets": {"3": {"angle": true}}})",
            "\"angle\" must be a number, not true");
        row("a boolean for a program", R"({"program": true})",
            "\"program\" must be a whole number from 0 to 4294967295, not true");
        row("program negative as text", R"({"program": "-3"})", "\"program\" must be");
        row("program a fraction", R"({"program": 2.5})", "\"program\" must be");
        row("timeout beyond int", R"({"timeout": "2147483648"})", "\"timeout\" must be");
        row("lock no", R"({"lock": "no"})", "\"lock\" must be true or false, not \"no\"");
        row("lock 2", R"({"lock": 2})", "\"lock\" must be true or false, not 2");
        row("serial ID a fraction", R"({"serialId": 47.5})", "\"serialId\" must be text");
        row("serial ID read as 1e+20", R"({"serialId": 100000000000000000000})",
            "\"serialId\" must be text");
        row("serial ID a boolean", R"({"serialId": true})", "\"serialId\" must be text");
        row("priority neither word", R"({"presets": {"3": {"priority": "angles"}}})",
            "\"priority\" must be \"angle\" or \"torque\", not \"angles\"");
        row("priority a number", R"({"presets": {"3": {"priority": 1}}})", "\"priority\" must be");
        row("preset number 03", R"({"presets": {"03": {}}})", "preset \"03\" is not a preset");
        // Read two ways, or not as written: warned.
        row("priority Angle", R"({"presets": {"3": {"priority": "Angle"}}})", "",
            "preset \"3\": \"priority\" \"Angle\" is read two ways: the program frame puts "
            "the angle first, the preset's text the torque first; write \"angle\"");
        row("priority with blanks", R"({"presets": {"4": {"priority": " angle"}}})", "",
            "preset \"4\": \"priority\" \" angle\" is read as torque first, for the blanks "
            "around it; write \"angle\"");
        row("keys given twice", R"({"lock": true, "presets": {"3": {"angle": 1, "angle": 2},
                "4": {"angle": 1}}, "lock": false, "lock": true})",
            "",
            "\"presets.3.angle\" is given twice: the last one counts\n"
            "\"lock\" is given twice: the last one counts");
    }
    void configuration() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QFETCH(QString, warnings);
        const QHash<QString, QString> tags{
            {"serialId", "strg"}, {"lock", "bool"},   {"parallelListening", "bool"},
            {"program", "uint"},  {"timeout", "int"}, {"frame", "byAr"}};
        QJsonObject configuration;
        QStringList found;
        QString reason;
        QVERIFY2(DConfigCheck::parse(text, &configuration, &found, &reason), qPrintable(reason));
        const bool ok = DConfigCheck::check(configuration, tags, &found, &reason);
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(ok || reason.contains(error), qPrintable(reason));
        QCOMPARE(found.join('\n'), warnings);
    }

    // What the plug-in is given: nulls are absent, in the presets too.
    void configurationWithoutNulls() {
        const QJsonObject given = DConfigCheck::withoutNulls(
            QJsonDocument::fromJson(R"({"lock": null, "presets": {"3": {"angle": null, "x": 1}}})")
                .object());
        QCOMPARE(QJsonDocument(given).toJson(QJsonDocument::Compact),
                 QByteArray(R"({"presets":{"3":{"x":1}}})"));
    }

    // Bytes as shown in the output and the trace, and back to the same bytes.
    void escapeRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("crlf tab") << QByteArray("a\r\n\t") << QString("a\\r\\n\\t");
        QTest::newRow("backslash") << QByteArray("a\\b") << QString("a\\\\b");
        QTest::newRow("nul before digit") << QByteArray("\0"
                                                        "1",
                                                        2)
                                          << QString("\\x001");
        QTest::newRow("del and high bytes")
            << QByteArray("\x7f\x80\xff") << QString("\\x7f\\x80\\xff");
    }
    void escapeRoundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(DCEscape::escape(bytes), text);
        QByteArray back;
        QString error;
        QVERIFY2(DCEscape::unescape(text, &back, &error), qPrintable(error));
        QCOMPARE(back, bytes);
    }

    // A script line and its words, or an unterminated quote (no words).
    void scriptLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("blanks, trailing comment")
            << "setLock  lock=true\t# set up" << true << QStringList{"setLock", "lock=true"};
        QTest::newRow("double quotes keep blanks")
            << "setKeepAliveFonction frame=\"A B\\r\"" << true
            << QStringList{"setKeepAliveFonction", "frame=A B\\r"};
        QTest::newRow("hash in quotes") << "x=\"#1\" y='#2'" << true << QStringList{"x=#1", "y=#2"};
        QTest::newRow("escaped quote kept for the value")
            << "x=\"a\\\"b\"" << true << QStringList{"x=a\\\"b"};
        QTest::newRow("single quotes take all")
            << "presets='{\"3\": {\"angle\": 30}}' x='\\'" << true
            << QStringList{"presets={\"3\": {\"angle\": 30}}", "x=\\"};
        QTest::newRow("carriage return") << "list\r" << true << QStringList{"list"};
        QTest::newRow("open quote") << "x=\"abc" << false << QStringList{};
        QTest::newRow("a quote closes its own kind only")
            << "serialId=\"O'Brien\" name='say \"hi\"'" << true
            << QStringList{"serialId=O'Brien", "name=say \"hi\""};
    }
    void scriptLine() {
        QFETCH(QString, line);
        QFETCH(bool, ok);
        QFETCH(QStringList, words);
        QStringList split;
        QCOMPARE(DScriptReader::splitLine(line, &split), ok);
        QCOMPARE(split, words);
    }

    // The trace's time stamp: seconds since the start, milliseconds after the point.
    void timeStamp() { QCOMPARE(DHostClock::stamp(12045), QString("(    12.045)")); }
};

QTEST_APPLESS_MAIN(TstValueConverter)
#include "tst_value_converter.moc"
