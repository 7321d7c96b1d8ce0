#include "d_object.h"

DObject::DObject(QObject* parent)
    : QObject(parent) {}

DObject::~DObject() = default;
