#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

class DAbstractPlugin;

// One thing to do, checked against the plug-in's catalogue: print the
// catalogue, run a command with its converted arguments, or listen.
class DRunRequest {
public:
    enum class Kind { List, Run, Listen };

    static constexpr const char* listenCommand = "listenEventsData";

    // From the verb ("list", "run", "listen") and its words; count is the
    // --count option (0: not given). A required parameter that is neither
    // given nor in the plug-in's configuration is refused, by name.
    static bool fromVerb(const QString& verb, const QStringList& words, int count,
                         const DAbstractPlugin& plugin, DRunRequest* request, QString* error);
    // From the words of a script line: "list", "listen KEY=VALUE... [--count
    // N]" or "COMMAND KEY=VALUE...".
    static bool fromScriptLine(const QStringList& words, const DAbstractPlugin& plugin,
                               DRunRequest* request, QString* error);

    Kind kind = Kind::Run;
    QString command;
    QVariantMap arguments;
    // Listen: end after this many "eventData" results; 0 for no end.
    int count = 0;

private:
    bool build(const QString& commandName, const QStringList& keyValues,
               const DAbstractPlugin& plugin, QString* error);
    bool addArgument(const QString& word, const QString& commandName, const DAbstractPlugin& plugin,
                     QString* error);
    bool checkRequired(const DAbstractPlugin& plugin, QString* error) const;
    static bool takeCount(QStringList* words, int* count, QString* error);
};
