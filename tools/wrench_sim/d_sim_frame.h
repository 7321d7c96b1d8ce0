#pragma once

#include <QByteArray>
#include <QList>

// One frame the wrench received, without its CR, taken apart: whether it is
// addressed to this wrench, its mnemonic and its comma-separated fields, and
// for a program frame whether its fields fit the program grammar.
//
// A pure function of its input, meant to be fed anything: no input asserts,
// the work is linear in the frame's length and numbers saturate instead of
// overflowing.
class DSimFrame {
public:
    // Targets of a valid program frame: torques in thousandths of a
    // newton-metre, angles in tenths of a degree, tolerances as sent (the plus
    // side and the minus side, both as positive numbers; 0 when not sent).
    struct Targets {
        qint64 torque = 0;
        qint64 startTorque = 0;
        qint64 angle = 0;
        qint64 torqueTolPlus = 0;
        qint64 torqueTolMinus = 0;
        qint64 angleTolPlus = 0;
        qint64 angleTolMinus = 0;
    };

    // Digit fields longer than this many digits read as this value.
    static constexpr qint64 saturatedValue = 1000000000000000LL;

    static DSimFrame parse(const QByteArray& frame, const QByteArray& serialId);

    // The frame begins with the serial ID (every frame does for an empty ID).
    bool isAddressed() const { return m_addressed; }
    // The frame after the serial ID: mnemonic and fields as received.
    const QByteArray& body() const { return m_body; }
    // The bytes of the body up to its first comma.
    const QByteArray& mnemonic() const { return m_mnemonic; }
    // The comma-separated fields after the mnemonic.
    const QList<QByteArray>& fields() const { return m_fields; }

    // One of "SAT", "STA", "SEA", "SET".
    bool isProgram() const;
    // A program frame whose fields fit the grammar of its mnemonic.
    bool isValidProgram() const { return m_validProgram; }
    // The targets of a valid program frame; all 0 otherwise.
    Targets targets() const { return m_targets; }

private:
    bool matchProgram();

    bool m_addressed = false;
    bool m_validProgram = false;
    QByteArray m_body;
    QByteArray m_mnemonic;
    QList<QByteArray> m_fields;
    Targets m_targets;
};
