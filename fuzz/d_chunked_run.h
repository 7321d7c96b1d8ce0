#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

// One run of a listening command against a scripted driver: it is created,
// executed, fed the wrench's bytes reply by reply, finished and destroyed, and
// what it published on the way is kept.
//
// The fuzz targets and the chunking test share it, so that both look at the
// same thing: the result updates in order and every instruction sent to the
// driver.
class DChunkedRun {
public:
    // One reply of the driver. A reply may come without "frame", or carry the
    // number of the reply before it (a repeat, which the listen command drops).
    struct Reply {
        QByteArray bytes;
        bool withoutFrame = false;
        bool repeatsNumber = false;
    };

    struct Published {
        QList<QPair<QString, QVariant>> updates;
        // "name frame" for every instruction to the driver, in order.
        QStringList instructions;
        // Set when an instruction still stood once the run was gone.
        bool leftStanding = false;
    };

    // The input of a reply fuzz target: its first byte, modulo 8, is the count
    // of plan bytes that follow; the rest is the wrench's bytes. Each plan byte
    // gives one reply's size (its low 6 bits, plus 1), bit 6 a reply without
    // frame before it, bit 7 a repeat of the reply's number. The plan is used
    // round and round; without plan bytes, all the bytes come in one reply.
    static QList<Reply> repliesFromInput(const QByteArray& input);
    // The wrench's bytes of such an input.
    static QByteArray payloadOf(const QByteArray& input);
    // The bytes cut into replies of chunkSize bytes; 0 gives one reply.
    static QList<Reply> chunked(const QByteArray& bytes, int chunkSize);

    static Published run(const QString& commandName, const QList<Reply>& replies);

    static QString describe(const Published& published, const QStringList& ignoredKeys = {});

private:
    static int planLength(const QByteArray& input);
};
