#include "d_line_assembler.h"

void DLineAssembler::clear() {
    m_line.clear();
    m_overlong = false;
}

void DLineAssembler::appendWithChecks(const char* data, int length) {
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
