#include "d_sim_frame.h"

namespace {

enum class Value { Torque, StartTorque, Angle };

// One value of a program frame, at its minimum width, optionally followed by
// a tolerance pair "+x,-x" at the tolerance's minimum width.
struct Group {
    Value value;
    int width;
    int toleranceWidth; // 0: no tolerance pair may follow
};

struct Grammar {
    const char* mnemonic;
    Group groups[3];
    int groupCount;
};

const Grammar grammars[] = {
    {"SAT", {{Value::StartTorque, 7, 0}, {Value::Angle, 4, 4}, {Value::Torque, 7, 7}}, 3},
    {"STA", {{Value::Torque, 7, 7}, {Value::StartTorque, 7, 0}, {Value::Angle, 4, 4}}, 3},
    {"SEA", {{Value::StartTorque, 7, 0}, {Value::Angle, 4, 4}}, 2},
    {"SET", {{Value::Torque, 7, 7}}, 1},
};

const Grammar* grammarOf(const QByteArray& mnemonic) {
    for (const Grammar& grammar : grammars) {
        if (mnemonic == grammar.mnemonic) {
            return &grammar;
        }
    }
    return nullptr;
}

bool isDigits(const char* begin, const char* end, int minWidth) {
    if (end - begin < minWidth || begin == end) {
        return false;
    }
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
    }
    return true;
}

qint64 digitsValue(const char* begin, const char* end) {
    qint64 value = 0;
    for (const char* p = begin; p < end && value < DSimFrame::saturatedValue; ++p) {
        value = value * 10 + (*p - '0');
    }
    return qMin(value, DSimFrame::saturatedValue);
}

// An unsigned field of digits; -1 when it is not one.
qint64 unsignedField(const QByteArray& field, int minWidth) {
    const char* begin = field.constData();
    const char* end = begin + field.size();
    return isDigits(begin, end, minWidth) ? digitsValue(begin, end) : -1;
}

// A field of digits after the given sign; -1 when it is not one.
qint64 signedField(const QByteArray& field, char sign, int minWidth) {
    if (field.isEmpty() || field.at(0) != sign) {
        return -1;
    }
    const char* begin = field.constData() + 1;
    const char* end = field.constData() + field.size();
    return isDigits(begin, end, minWidth) ? digitsValue(begin, end) : -1;
}

} // namespace

DSimFrame DSimFrame::parse(const QByteArray& frame, const QByteArray& serialId) {
    DSimFrame parsed;
    parsed.m_addressed = frame.startsWith(serialId);
    if (!parsed.m_addressed) {
        return parsed;
    }
    parsed.m_body = frame.mid(serialId.size());
    const int comma = parsed.m_body.indexOf(',');
    if (comma < 0) {
        parsed.m_mnemonic = parsed.m_body;
    } else {
        parsed.m_mnemonic = parsed.m_body.left(comma);
        parsed.m_fields = parsed.m_body.mid(comma + 1).split(',');
    }
    parsed.m_validProgram = parsed.matchProgram();
    if (!parsed.m_validProgram) {
        parsed.m_targets = Targets();
    }
    return parsed;
}

bool DSimFrame::isProgram() const {
    return grammarOf(m_mnemonic) != nullptr;
}

bool DSimFrame::matchProgram() {
    const Grammar* grammar = grammarOf(m_mnemonic);
    if (!grammar) {
        return false;
    }
    bool hasStartTorque = false;
    int index = 0;
    for (int g = 0; g < grammar->groupCount; ++g) {
        const Group& group = grammar->groups[g];
        if (index >= m_fields.size()) {
            return false;
        }
        const qint64 value = unsignedField(m_fields.at(index++), group.width);
        if (value < 0) {
            return false;
        }
        qint64* plus = nullptr;
        qint64* minus = nullptr;
        switch (group.value) {
        case Value::Torque:
            m_targets.torque = value;
            plus = &m_targets.torqueTolPlus;
            minus = &m_targets.torqueTolMinus;
            break;
        case Value::StartTorque:
            m_targets.startTorque = value;
            hasStartTorque = true;
            break;
        case Value::Angle:
            m_targets.angle = value;
            plus = &m_targets.angleTolPlus;
            minus = &m_targets.angleTolMinus;
            break;
        }
        const bool tolerancePairFollows = group.toleranceWidth > 0 && index < m_fields.size() &&
                                          m_fields.at(index).startsWith('+');
        if (!tolerancePairFollows) {
            continue;
        }
        if (index + 1 >= m_fields.size()) {
            return false;
        }
        *plus = signedField(m_fields.at(index), '+', group.toleranceWidth);
        *minus = signedField(m_fields.at(index + 1), '-', group.toleranceWidth);
        if (*plus < 0 || *minus < 0) {
            return false;
        }
        index += 2;
    }
    if (!hasStartTorque) {
        m_targets.startTorque = m_targets.torque;
    }
    return index == m_fields.size();
}
