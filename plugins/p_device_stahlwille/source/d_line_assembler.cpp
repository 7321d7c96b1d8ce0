#include "d_line_assembler.h"

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
    m_line.append(data, length);
}

void DLineAssembler::endLine() {
    m_line.truncate(0);
    m_overlong = false;
}
