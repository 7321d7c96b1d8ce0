#include "d_sim_wrench.h"

#include <QDateTime>
#include <QTimer>

#include <cmath>

namespace {

// With no program the wrench tightens to this torque, in newton-metres.
constexpr double freeTorque = 10.0;
// Start torque of an angle program without one, in newton-metres.
constexpr double freeStartTorque = 5.0;
constexpr double freeAngle = 30.0;

const char* const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

QByteArray tenths(double value) {
    return QByteArray::number(qint64(std::llround(value * 10)));
}

QByteArray twoDigits(int value) {
    return QByteArray::number(value).rightJustified(2, '0');
}

} // namespace

DSimWrench::DSimWrench(const QByteArray& serialId, const DSimFaults& faults, quint32 seed,
                       QObject* parent)
    : QObject(parent)
    , m_serialId(serialId)
    , m_faults(faults)
    , m_random(seed)
    , m_clearsToRefuse(faults.refuseClear)
    , m_tighteningTimer(new QTimer(this)) {
    m_tighteningTimer->setObjectName("tighteningTimer");
    connect(m_tighteningTimer, &QTimer::timeout, this, &DSimWrench::onTighteningTimeout);
    if (faults.delivered) {
        // Its result line went out long ago, to a session that is gone.
        saveTightening();
        m_oldestDelivered = true;
    }
}

QByteArray DSimWrench::serialId() const {
    return m_serialId;
}

DSimFaults DSimWrench::faults() const {
    return m_faults;
}

void DSimWrench::setSilent(bool silent) {
    m_faults.silent = silent;
}

void DSimWrench::setFloodBytes(qint64 bytes) {
    m_floodBytes = qMax(bytes, qint64(0));
}

void DSimWrench::refuseNextClear() {
    if (m_clearsToRefuse == 0) {
        m_clearsToRefuse = 1;
    }
}

void DSimWrench::receive(const QByteArray& bytes) {
    for (const char byte : bytes) {
        if (byte == '\n') {
            continue;
        }
        if (byte == '\r') {
            endFrame();
        } else if (m_frame.size() < maxFrameLength) {
            m_frame.append(byte);
        } else {
            m_frameOverlong = true;
        }
    }
}

// A silent wrench acts on nothing it receives: if it carried out a "GDS" it
// could not answer, the next "CLR" would remove a record nobody has read.
void DSimWrench::endFrame() {
    const QByteArray frame = m_frame;
    const bool overlong = m_frameOverlong;
    m_frame.clear();
    m_frameOverlong = false;
    if (m_faults.silent || frame.isEmpty()) {
        return;
    }
    const DSimFrame parsed = DSimFrame::parse(frame, m_serialId);
    if (!parsed.isAddressed()) {
        return;
    }
    if (overlong || m_faults.refuse) {
        answer("?");
        return;
    }
    execute(parsed);
}

void DSimWrench::execute(const DSimFrame& frame) {
    const QByteArray& mnemonic = frame.mnemonic();
    const bool bare = frame.fields().isEmpty();
    if (frame.isProgram()) {
        acceptProgram(frame);
    } else if (!bare) {
        answer("?");
    } else if (mnemonic == "BAT") {
        answer("BAT,087");
    } else if (mnemonic == "LCK" || mnemonic == "UCK") {
        m_locked = mnemonic == "LCK";
        answer("OK");
    } else if (mnemonic == "DKS" || mnemonic == "EKS") {
        m_screenLocked = mnemonic == "DKS";
        answer("OK");
    } else if (mnemonic == "DEL") {
        m_program.clear();
        m_targets = DSimFrame::Targets();
        answer("OK");
    } else if (mnemonic == "GDS") {
        answerGetData();
    } else if (mnemonic == "CLR") {
        answerClear();
    } else {
        answer("?");
    }
}

void DSimWrench::acceptProgram(const DSimFrame& frame) {
    if (!frame.isValidProgram()) {
        answer("?");
        return;
    }
    m_program = frame.body();
    m_targets = frame.targets();
    answer("OK");
}

void DSimWrench::answerGetData() {
    if (m_savedRecords.isEmpty()) {
        answer("no new saved");
        return;
    }
    m_oldestDelivered = true;
    const QByteArray record = m_savedRecords.first();
    if (m_faults.foreign) {
        answerLine(foreignLine());
    }
    answerLine(deliveredCopy(record));
    if (m_faults.repeat) {
        answerLine(record);
    }
}

// The damage happens on the wire: the wrench still holds the record whole and
// sends it whole on the next "GDS".
QByteArray DSimWrench::deliveredCopy(const QByteArray& record) {
    if (!m_faults.damaged || m_oldestDamaged) {
        return record;
    }
    m_oldestDamaged = true;
    return damagedCopy(record);
}

// One digit of a numeric field (fields 0 to 10) turned into a NUL byte or,
// every other time, into a byte that reads as no number.
QByteArray DSimWrench::damagedCopy(const QByteArray& record) {
    QList<int> digits;
    int commas = 0;
    for (int i = 0; i < record.size() && commas <= 10; ++i) {
        if (record.at(i) == ',') {
            ++commas;
        } else if (record.at(i) >= '0' && record.at(i) <= '9') {
            digits.append(i);
        }
    }
    QByteArray damaged = record;
    if (digits.isEmpty()) {
        return damaged;
    }
    static const char noDigits[] = "OIlSBZ#?*";
    const int at = digits.at(m_random.bounded(digits.size()));
    damaged[at] =
        m_damagedCount++ % 2 == 0 ? '\0' : noDigits[m_random.bounded(int(sizeof(noDigits) - 1))];
    return damaged;
}

// Another wrench's line on a shared wire, with a record's 14 commas.
QByteArray DSimWrench::foreignLine() const {
    const QByteArray line = "W2 noise" + QByteArray(14, ',');
    if (!m_serialId.isEmpty() && line.startsWith(m_serialId)) {
        return "X9 noise" + QByteArray(14, ',');
    }
    return line;
}

// "CLR" acknowledges the record that the last "GDS" delivered: only that one
// is removed. The listen command writes "CLR" after each record and again on
// each "OK" until the wrench says that nothing is saved; a "CLR" that removed a
// record nobody had fetched yet would lose that tightening.
void DSimWrench::answerClear() {
    if (!m_oldestDelivered || m_savedRecords.isEmpty()) {
        answer("no new saved");
        return;
    }
    if (m_clearsToRefuse != 0) {
        if (m_clearsToRefuse > 0) {
            --m_clearsToRefuse;
        }
        answer("?");
        return;
    }
    m_savedRecords.removeFirst();
    m_oldestDelivered = false;
    m_oldestDamaged = false;
    answer("OK");
}

void DSimWrench::answer(const QByteArray& text) {
    answerLine(m_serialId + text);
}

void DSimWrench::answerLine(const QByteArray& line) {
    if (m_faults.flood && !m_flooded) {
        queueFlood();
    }
    if (m_faults.garbage) {
        queueLine(noiseLine());
    }
    queueLine(line);
}

void DSimWrench::queueLine(const QByteArray& line) {
    queueBytes(line + (m_faults.crlf ? "\r\n" : "\r"));
}

void DSimWrench::queueBytes(const QByteArray& bytes) {
    if (m_pendingBytes + bytes.size() > maxPendingBytes) {
        return;
    }
    m_pendingBytes += bytes.size();
    if (!m_queue.empty() && m_queue.back().floodLeft == 0) {
        m_queue.back().bytes.append(bytes);
    } else {
        m_queue.push_back({bytes, 0});
    }
    startOutput();
}

void DSimWrench::queueFlood() {
    m_flooded = true;
    m_queue.push_back({QByteArray(), m_floodBytes});
    startOutput();
}

// The next piece goes out on a later turn of the event loop, as a queued call
// rather than a zero timer: a timer is filed in the thread's list of timers,
// in order of expiry, and with thousands of wrenches in one process that
// costs a walk over thousands of listeners' timers per piece.
void DSimWrench::startOutput() {
    if (!m_outputPaused && !m_queue.empty() && !m_sendQueued) {
        m_sendQueued = true;
        QMetaObject::invokeMethod(this, &DSimWrench::sendNext, Qt::QueuedConnection);
    }
}

// One piece of output per turn of the event loop. The state is brought up to
// date before the emission, so a receiver may write to the wrench at once.
void DSimWrench::sendNext() {
    m_sendQueued = false;
    if (m_outputPaused || m_queue.empty()) {
        return;
    }
    Segment& head = m_queue.front();
    QByteArray chunk;
    if (head.floodLeft > 0) {
        chunk = floodChunk();
        if (head.floodLeft < chunk.size()) {
            chunk.truncate(int(head.floodLeft));
        }
        head.floodLeft -= chunk.size();
        if (head.floodLeft == 0) {
            m_queue.pop_front();
        }
    } else {
        const int left = head.bytes.size() - m_headOffset;
        const int size = m_faults.split ? qMin(left, int(m_random.bounded(1, 8))) : left;
        chunk = head.bytes.mid(m_headOffset, size);
        m_headOffset += size;
        m_pendingBytes -= size;
        if (m_headOffset == head.bytes.size()) {
            m_queue.pop_front();
            m_headOffset = 0;
        }
    }
    startOutput();
    emit output(chunk);
}

// Printable bytes without commas, so that it never passes for a record line;
// it begins with a punctuation mark that is not the serial ID's first byte, so
// that it passes neither for an answer nor for a result line.
QByteArray DSimWrench::noiseLine() {
    static const char marks[] = "#$%&*+-./:;<=>@^_~";
    QByteArray line;
    char first = marks[m_random.bounded(int(sizeof(marks) - 1))];
    if (!m_serialId.isEmpty() && first == m_serialId.at(0)) {
        first = first == '#' ? '~' : '#';
    }
    line.append(first);
    const int length = m_random.bounded(16, 41);
    while (line.size() < length) {
        const char byte = char(m_random.bounded(0x20, 0x7f));
        if (byte != ',') {
            line.append(byte);
        }
    }
    return line;
}

// One chunk of printable noise, made once and sent again and again: the flood
// never holds more than this in memory.
QByteArray DSimWrench::floodChunk() {
    if (m_floodChunk.isEmpty()) {
        m_floodChunk.resize(floodChunkBytes);
        for (char& byte : m_floodChunk) {
            byte = char(m_random.bounded(0x21, 0x7f));
        }
    }
    return m_floodChunk;
}

bool DSimWrench::hasPendingOutput() const {
    return !m_queue.empty();
}

qint64 DSimWrench::pendingBytes() const {
    return m_pendingBytes;
}

int DSimWrench::pendingFrameBytes() const {
    return m_frame.size();
}

void DSimWrench::setOutputPaused(bool paused) {
    m_outputPaused = paused;
    startOutput();
}

bool DSimWrench::isOutputPaused() const {
    return m_outputPaused;
}

void DSimWrench::startTightenings(int count, int everyMs) {
    m_tighteningsLeft = qMax(count, 0);
    if (m_tighteningsLeft == 0) {
        m_tighteningTimer->stop();
        return;
    }
    m_tighteningTimer->start(qMax(everyMs, 0));
}

double DSimWrench::between(double lowest, double highest) {
    return lowest + (highest - lowest) * m_random.generateDouble();
}

void DSimWrench::onTighteningTimeout() {
    if (--m_tighteningsLeft <= 0) {
        m_tighteningTimer->stop();
    }
    tighten();
}

void DSimWrench::tighten() {
    const QByteArray result = saveTightening();
    if (!m_faults.silent) {
        queueLine(result);
    }
    emit tightened(m_createdRecords.last());
}

// Makes one tightening, saves its record and returns its result line. The
// values follow the accepted program, each off its target by up to 5 %, so
// that a tight tolerance is missed now and then.
QByteArray DSimWrench::saveTightening() {
    const int number = ++m_tighteningCount;
    const qint64 step = m_random.bounded(5, 61);
    if (!m_faults.sametime) {
        m_lastTimestamp += step;
    }
    const double setTorque = m_program.isEmpty() ? freeTorque : m_targets.torque / 1000.0;
    const double setAngle = m_targets.angle / 10.0;
    const double startTorque =
        m_targets.startTorque > 0 ? m_targets.startTorque / 1000.0 : freeStartTorque;
    const double torqueOff = between(-0.05, 0.05);
    const double angleOff = between(-0.05, 0.05);
    const double torque =
        setTorque > 0 ? setTorque * (1 + torqueOff) : startTorque * (1.2 + torqueOff);
    const double angle = setAngle > 0 ? setAngle * (1 + angleOff) : freeAngle * (1 + 6 * angleOff);
    const double seconds = between(0.8, 2.0);
    const char sign = toleranceSign(torque, angle);

    const QByteArray record = recordLine(number, torque, angle, m_lastTimestamp, sign == '=');
    m_createdRecords.append(record);
    if (m_savedRecords.size() < maxSavedRecords) {
        m_savedRecords.append(record);
    }
    return resultLine(number, torque, sign, seconds, m_lastTimestamp);
}

// '<' or '>' when the torque, or for an angle-only program the angle, misses
// its tolerance; '=' otherwise and when no tolerance was sent.
char DSimWrench::toleranceSign(double torque, double angle) const {
    double value = torque;
    double target = m_targets.torque / 1000.0;
    double plus = m_targets.torqueTolPlus / 1000.0;
    double minus = m_targets.torqueTolMinus / 1000.0;
    if (m_targets.torque == 0) {
        value = angle;
        target = m_targets.angle / 10.0;
        plus = m_targets.angleTolPlus / 10.0;
        minus = m_targets.angleTolMinus / 10.0;
    }
    if (plus > 0 && value > target + plus) {
        return '>';
    }
    if (minus > 0 && value < target - minus) {
        return '<';
    }
    return '=';
}

// Fields: number, torque, set torque, torque tolerances + and -, angle, set
// angle, angle tolerances + and -, cycle time in ms, timestamp, status, mode,
// program, unit. Numbers are tenths; minus tolerances carry their sign.
QByteArray DSimWrench::recordLine(int number, double torque, double angle, qint64 timestamp,
                                  bool inTolerance) const {
    const double setTorque = m_program.isEmpty() ? freeTorque : m_targets.torque / 1000.0;
    const QByteArray mnemonic = m_program.left(3);
    const char* mode = mnemonic == "SET"   ? "torque"
                       : mnemonic == "SEA" ? "angle"
                       : mnemonic == "STA" ? "torque-angle"
                       : mnemonic == "SAT" ? "angle-torque"
                                           : "free";
    const QList<QByteArray> fields{
        QByteArray::number(number),
        tenths(torque),
        tenths(setTorque),
        tenths(m_targets.torqueTolPlus / 1000.0),
        tenths(-m_targets.torqueTolMinus / 1000.0),
        tenths(angle),
        tenths(m_targets.angle / 10.0),
        tenths(m_targets.angleTolPlus / 10.0),
        tenths(-m_targets.angleTolMinus / 10.0),
        QByteArray::number(1000 + number % 1000),
        QByteArray::number(timestamp),
        inTolerance ? "ok" : "nok",
        mode,
        mnemonic.isEmpty() ? QByteArray("none") : mnemonic,
        "Nm",
    };
    return QByteArray(fields.join(','));
}

// As the wrench prints it: "0042 12.50 Nm = 1.25 10:42 05Mar24".
QByteArray DSimWrench::resultLine(int number, double torque, char sign, double seconds,
                                  qint64 timestamp) const {
    const QDateTime when = QDateTime::fromSecsSinceEpoch(timestamp, Qt::UTC);
    const QDate date = when.date();
    const QTime time = when.time();
    return QByteArray::number(number % 10000).rightJustified(4, '0') + ' ' +
           QByteArray::number(torque, 'f', 2) + " Nm " + sign + ' ' +
           QByteArray::number(seconds, 'f', 2) + ' ' + twoDigits(time.hour()) + ':' +
           twoDigits(time.minute()) + ' ' + twoDigits(date.day()) + monthNames[date.month() - 1] +
           twoDigits(date.year() % 100);
}

int DSimWrench::tighteningCount() const {
    return m_tighteningCount;
}

int DSimWrench::savedRecordCount() const {
    return m_savedRecords.size();
}

QList<QByteArray> DSimWrench::savedRecords() const {
    return m_savedRecords;
}

QList<QByteArray> DSimWrench::createdRecords() const {
    return m_createdRecords;
}

bool DSimWrench::isLocked() const {
    return m_locked;
}

bool DSimWrench::isScreenLocked() const {
    return m_screenLocked;
}

QByteArray DSimWrench::program() const {
    return m_program;
}
