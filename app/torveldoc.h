// CTorvelDoc: the empty document that anchors an analysis window; everything
// the window shows belongs to its core.
#pragma once

#include <QObject>

class CTorvelDoc : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};
