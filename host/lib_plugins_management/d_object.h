#pragma once

#include <QObject>

// Root of the framework's object classes.
class DObject : public QObject {
    Q_OBJECT

public:
    explicit DObject(QObject* parent = nullptr);
    ~DObject() override;
};
