#include "d_sim_faults.h"

#include <QStringList>

namespace {

struct FaultName {
    const char* name;
    bool DSimFaults::*flag;
};

// In declaration order: toList() writes them this way.
const FaultName faultNames[] = {
    {"silent", &DSimFaults::silent},       {"refuse", &DSimFaults::refuse},
    {"split", &DSimFaults::split},         {"crlf", &DSimFaults::crlf},
    {"garbage", &DSimFaults::garbage},     {"repeat", &DSimFaults::repeat},
    {"flood", &DSimFaults::flood},         {"sametime", &DSimFaults::sametime},
    {"delivered", &DSimFaults::delivered}, {"foreign", &DSimFaults::foreign},
    {"damaged", &DSimFaults::damaged},
};

const QLatin1String refuseClearName("refuseclear");

bool readRefuseClear(const QString& item, int* refuseClear) {
    if (item == refuseClearName) {
        *refuseClear = DSimFaults::refuseClearAlways;
        return true;
    }
    if (!item.startsWith(refuseClearName + QLatin1Char('='))) {
        return false;
    }
    bool ok = false;
    const int count = item.mid(refuseClearName.size() + 1).toInt(&ok);
    if (!ok || count < 1) {
        return false;
    }
    *refuseClear = count;
    return true;
}

bool readItem(const QString& item, DSimFaults* faults) {
    for (const FaultName& fault : faultNames) {
        if (item == QLatin1String(fault.name)) {
            faults->*fault.flag = true;
            return true;
        }
    }
    return readRefuseClear(item, &faults->refuseClear);
}

} // namespace

bool DSimFaults::fromList(const QString& list, DSimFaults* faults, QString* error) {
    DSimFaults parsed;
    for (const QString& item : list.split(QLatin1Char(','))) {
        const QString name = item.trimmed();
        if (name.isEmpty()) {
            continue;
        }
        if (!readItem(name, &parsed)) {
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
    if (refuseClear == refuseClearAlways) {
        names.append(refuseClearName);
    } else if (refuseClear > 0) {
        names.append(refuseClearName + QLatin1Char('=') + QString::number(refuseClear));
    }
    return names.join(QLatin1Char(','));
}
