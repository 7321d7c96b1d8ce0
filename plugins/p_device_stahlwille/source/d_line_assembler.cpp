#include "d_line_assembler.h"

namespace {

// The buffer of the line being assembled is kept from one line to the next up
// to this capacity (a line of the wrench fits), so that most lines cost no
// allocation; one grown by a longer line is given back when that line ends.
constexpr int keptCapacity = 256;

} // namespace

void DLineAssembler::clear() {
    m_line.clear();
    m_overlong = false;
}

void DLineAssembler::append(const char* data, int length) {
    if (length == 0 || m_overlong) {
        return;
    }
    if (length > maxLineLength - m_line.size()) {
        m_line.clear();
        m_overlong = true;
        return;
    }
    if (m_line.capacity() < keptCapacity) {
        m_line.reserve(keptCapacity);
    }
    m_line.append(data, length);
}

void DLineAssembler::endLine() {
    if (m_line.capacity() > keptCapacity) {
        m_line = QByteArray();
    } else {
        // With its capacity reserved, the buffer stays allocated.
        m_line.truncate(0);
    }
    m_overlong = false;
}
