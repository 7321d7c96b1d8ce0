#pragma once

#include <QObject>

class PDriverSerial;

// --trace: every frame the driver writes to the line as "> " and every chunk
// it reads as "< ", with control bytes as C escapes, one line each on stderr,
// after the seconds since the start: "(     0.012) > W1LCK\r".
class DLineTrace : public QObject {
    Q_OBJECT

public:
    explicit DLineTrace(PDriverSerial* driver, QObject* parent = nullptr);

    static QString written(const QByteArray& frame);
    static QString read(const QByteArray& chunk);
};
