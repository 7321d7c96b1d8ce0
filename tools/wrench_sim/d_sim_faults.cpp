#include "d_sim_faults.h"

#include <QStringList>

namespace {

struct FaultName {
    const char* name;
    bool DSimFaults::*flag;
};

// In declaration order: toList() writes them this way.
const FaultName faultNames[] = {
    {"silent", &DSimFaults::silent},   {"refuse", &DSimFaults::refuse},
    {"split", &DSimFaults::split},     {"crlf", &DSimFaults::crlf},
    {"garbage", &DSimFaults::garbage}, {"repeat", &DSimFaults::repeat},
    {"flood", &DSimFaults::flood},
};

} // namespace

bool DSimFaults::fromList(const QString& list, DSimFaults* faults, QString* error) {
    DSimFaults parsed;
    for (const QString& item : list.split(QLatin1Char(','))) {
        const QString name = item.trimmed();
        if (name.isEmpty()) {
            continue;
        }
        bool known = false;
        for (const FaultName& fault : faultNames) {
            if (name == QLatin1String(fault.name)) {
                parsed.*fault.flag = true;
                known = true;
            }
        }
        if (!known) {
            if (error) {
                *error = name;
            }
            return false;
        }
    }
    if (faults) {
        *faults = parsed;
    }
    return true;
}

QString DSimFaults::toList() const {
    QStringList names;
    for (const FaultName& fault : faultNames) {
        if (this->*fault.flag) {
            names.append(QLatin1String(fault.name));
        }
    }
    return names.join(QLatin1Char(','));
}
