#pragma once

#include <QString>

// Where wrench_host finds the plug-in when no --plugin is given.
class DPluginLocation {
public:
    // The build tree's plug-in when the program runs from the build tree;
    // else the installed one, found from the program's own folder, so that an
    // installation works under any prefix. Needs the QCoreApplication.
    static QString defaultPluginPath();
};
