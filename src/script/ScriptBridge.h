#pragma once

#include "script/ScriptObject.h"

#include <QJSValue>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QJSEngine;

// The plumbing between one QJSEngine and the program objects its script may reach. Only the
// bootstrap closure holds it; scripts never see it by name. The closure asks it to resolve global
// names and member names, to invoke members and to deliver alerts.
class TScriptBridge : public QObject {
    Q_OBJECT
public:
    // Answers of globalName besides an object index.
    static constexpr int kAlertName = -1;
    static constexpr int kNoName = -2;

    TScriptBridge(QJSEngine& engine, const TNamedObjects& namedObjects, std::function<void(const QString&)> onAlert);

    // Installs the bootstrap in the engine: removes the engine's non-standard globals and puts the
    // named objects and alert where any letter case of their names finds them. Returns the
    // trampoline `call(name, args)`, which calls a script's global function and reports what it
    // returned or threw; an undefined value on failure.
    QJSValue Install();
    // Whether a text parses as a function body; tells a syntax error from a run-time one.
    bool Compiles(const QString& text);

    // Lower-cased global name: kAlertName, an object index or kNoName.
    Q_INVOKABLE int globalName(const QString& name);
    // {id, method} of an object's member; throws member-not-found.
    Q_INVOKABLE QJSValue member(int object, const QString& name);
    Q_INVOKABLE bool hasMember(int object, const QString& name);
    // Runs a member with the script's arguments and their text forms. A program object in the
    // result comes back as {object: index} for the closure to wrap.
    Q_INVOKABLE QJSValue invoke(int object, int id, int callKind, const QJSValue& args, const QJSValue& texts);
    Q_INVOKABLE void alert(const QString& text);

private:
    int IndexOf(TScriptObject* object);
    TScriptObject* ObjectAt(int index) const;

    QJSEngine& m_engine;
    const TNamedObjects& m_namedObjects;
    std::function<void(const QString&)> m_onAlert;
    std::vector<TScriptObject*> m_objects; // index -> object, in the order scripts first met them
    QJSValue m_compiles;
};
