#include "script/ScriptBridge.h"

#include "script/ScriptText.h"

#include <QJSEngine>

#include <algorithm>

namespace {

// Runs once in each fresh engine, before the script. It is a function expression, so it adds no
// global of its own; everything it builds lives in its closure. The built-ins it uses are taken
// before the script runs, so a script that replaces them does not break the host.
const char* const kBootstrap = R"JS((function (global, bridge) {
    "use strict";
    var ProxyType = Proxy, ReferenceErrorType = ReferenceError, FunctionType = Function, toText = String;
    var ObjectType = Object, callableValues = new WeakMap();
    var apply = Reflect.apply, reflectGet = Reflect.get, reflectSet = Reflect.set, reflectHas = Reflect.has;
    var getPrototypeOf = Object.getPrototypeOf, setPrototypeOf = Object.setPrototypeOf;
    var createObject = Object.create, ownNames = Object.getOwnPropertyNames;
    var objectToString = Object.prototype.toString, hasOwn = Object.prototype.hasOwnProperty;

    // Only the language's own globals stay.
    var standard = createObject(null);
    ("globalThis Infinity NaN undefined eval isFinite isNaN parseFloat parseInt decodeURI decodeURIComponent " +
     "encodeURI encodeURIComponent escape unescape Array ArrayBuffer Atomics BigInt BigInt64Array BigUint64Array " +
     "Boolean DataView Date Error EvalError AggregateError FinalizationRegistry Float32Array Float64Array Function " +
     "Int8Array Int16Array Int32Array JSON Map Math Number Object Promise Proxy RangeError ReferenceError Reflect " +
     "RegExp Set SharedArrayBuffer String Symbol SyntaxError TypeError Uint8Array Uint8ClampedArray Uint16Array " +
     "Uint32Array URIError WeakMap WeakRef WeakSet").split(" ").forEach(function (name) { standard[name] = true; });
    ownNames(global).forEach(function (name) {
        if (!standard[name]) { try { delete global[name]; } catch (e) { global[name] = undefined; } }
    });

    // The engine's text form; a value whose conversion throws gets its plain object form.
    function textOf(value) {
        try { return toText(value); } catch (e) { return apply(objectToString, value, []); }
    }
    var proxies = [];
    function invoke(index, id, callKind, args) {
        var plain = [], texts = [];
        for (var i = 0; i < args.length; ++i) {
            // A member value read as a property goes back to the program as the value it stands for.
            plain[i] = callableValues.has(args[i]) ? callableValues.get(args[i]) : args[i];
            texts[i] = textOf(plain[i]);
        }
        var result = bridge.invoke(index, id, callKind, plain, texts);
        return result !== null && typeof result === "object" ? wrap(result.object) : result;
    }
    // The value of a member read as a property that the script may also call: objects are handed
    // out as they are; a text or number is wrapped in a callable that otherwise behaves as it.
    function readCallable(index, id) {
        var value = invoke(index, id, 2, []);
        if (value === null || value === undefined || typeof value === "object") return value;
        var call = function () { return invoke(index, id, 1, arguments); };
        var callable = new ProxyType(call, {
            get: function (target, name) {
                var field = value[name];
                return typeof field === "function" ? field.bind(value) : field;
            },
            has: function (target, name) { return name in ObjectType(value); },
            apply: function (target, self, args) { return apply(call, self, args); }
        });
        callableValues.set(callable, value);
        return callable;
    }
    // One proxy per program object, so an object stays the same object for the script.
    function wrap(index) {
        if (proxies[index]) return proxies[index];
        var methods = [];
        proxies[index] = new ProxyType(createObject(null), {
            get: function (target, name) {
                if (typeof name !== "string") return undefined;
                var member = bridge.member(index, name);
                if (member.both) return readCallable(index, member.id);
                if (!member.method) return invoke(index, member.id, 2, []);
                if (!methods[member.id])
                    methods[member.id] = function () { return invoke(index, member.id, 1, arguments); };
                return methods[member.id];
            },
            set: function (target, name, value) {
                if (typeof name !== "string") return false;
                invoke(index, bridge.member(index, name).id, 4, [value]);
                return true;
            },
            has: function (target, name) { return typeof name === "string" && bridge.hasMember(index, name); },
            deleteProperty: function () { return false; },
            defineProperty: function () { return false; }
        });
        return proxies[index];
    }
    var alert = function (text) { if (arguments.length === 1) bridge.alert(textOf(text)); };

    // Behind the global object: names the script does not define itself are looked up here, so the
    // script's own globals shadow these and every other name is an error, as an undeclared name is.
    setPrototypeOf(global, new ProxyType(getPrototypeOf(global), {
        get: function (target, name, receiver) {
            if (typeof name === "string") {
                var index = bridge.globalName(name);
                if (index === -1) return alert;
                if (index >= 0) return wrap(index);
                if (!reflectHas(target, name)) throw new ReferenceErrorType(name + " is not defined");
            }
            return reflectGet(target, name, receiver);
        },
        set: function (target, name, value, receiver) {
            if (typeof name === "string" && bridge.globalName(name) !== -2) return false;
            return reflectSet(target, name, value, receiver);
        }
    }));

    return {
        call: function (name, args) {
            if (!apply(hasOwn, global, [name]) || typeof global[name] !== "function") return { missing: true };
            try {
                var value = apply(global[name], global, args);
                if (callableValues.has(value)) value = callableValues.get(value);
                return { ok: true, value: value, text: textOf(value) };
            } catch (e) {
                return { error: e };
            }
        },
        compiles: function (text) {
            try { new FunctionType(text); return true; } catch (e) { return false; }
        }
    };
}))JS";

} // namespace

TScriptBridge::TScriptBridge(QJSEngine& engine, const TNamedObjects& namedObjects,
                             std::function<void(const QString&)> onAlert)
    : m_engine(engine), m_namedObjects(namedObjects), m_onAlert(std::move(onAlert)) {}

QJSValue TScriptBridge::Install() {
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    const QJSValue bootstrap = m_engine.evaluate(QString::fromUtf8(kBootstrap), QStringLiteral("tallyglass-host"));
    if (!bootstrap.isCallable())
        return {};
    const QJSValue helpers = bootstrap.call({m_engine.globalObject(), m_engine.newQObject(this)});
    if (helpers.isError() || !helpers.isObject())
        return {};
    m_compiles = helpers.property(QStringLiteral("compiles"));
    return helpers.property(QStringLiteral("call"));
}

bool TScriptBridge::Compiles(const QString& text) {
    return m_compiles.call({text}).toBool();
}

int TScriptBridge::globalName(const QString& name) {
    const std::string lower = AsciiLower(FromScriptText(name));
    if (lower == "alert")
        return kAlertName;
    for (const auto& [objectName, object] : m_namedObjects)
        if (objectName == lower)
            return IndexOf(object);
    return kNoName;
}

QJSValue TScriptBridge::member(int object, const QString& name) {
    TScriptObject* target = ObjectAt(object);
    const int id = target ? target->MemberId(FromScriptText(name)) : TScriptObject::kUnknownMember;
    const TScriptMember* entry = id == TScriptObject::kUnknownMember ? nullptr : target->member(id);
    if (!entry) {
        const QString type = target ? ToScriptText(target->TypeName()) : QStringLiteral("Object");
        m_engine.throwError(QJSValue::TypeError, QStringLiteral("%1 has no member '%2'").arg(type, name));
        return {};
    }
    QJSValue result = m_engine.newObject();
    result.setProperty(QStringLiteral("id"), entry->Id);
    result.setProperty(QStringLiteral("method"), entry->Kind == TMemberKind::Method);
    result.setProperty(QStringLiteral("both"), entry->Kind == TMemberKind::MethodOrProperty);
    return result;
}

bool TScriptBridge::hasMember(int object, const QString& name) {
    TScriptObject* target = ObjectAt(object);
    return target && target->MemberId(FromScriptText(name)) != TScriptObject::kUnknownMember;
}

QJSValue TScriptBridge::invoke(int object, int id, int callKind, const QJSValue& args, const QJSValue& texts) {
    TScriptObject* target = ObjectAt(object);
    if (!target) {
        m_engine.throwError(QJSValue::TypeError, QStringLiteral("The object is no longer available"));
        return {};
    }
    std::vector<TScriptValue> values;
    const int count = args.property(QStringLiteral("length")).toInt();
    values.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const QJSValue arg = args.property(static_cast<quint32>(i));
        std::string text = FromScriptText(texts.property(static_cast<quint32>(i)).toString());
        TScriptValue::TType type = TScriptValue::TType::Object;
        if (arg.isUndefined())
            type = TScriptValue::TType::Empty;
        else if (arg.isNull())
            type = TScriptValue::TType::Null;
        else if (arg.isBool())
            type = TScriptValue::TType::Boolean;
        else if (arg.isNumber())
            type = TScriptValue::TType::Number;
        else if (arg.isString())
            type = TScriptValue::TType::Text;
        values.push_back(TScriptValue::FromScript(type, arg.isBool() && arg.toBool(),
                                                  arg.isNumber() ? arg.toNumber() : 0.0, std::move(text)));
    }

    const TInvokeResult result = target->invoke(id, static_cast<unsigned>(callKind), values);
    const TScriptMember* entry = target->member(id);
    const QString memberName = QStringLiteral("%1.%2").arg(ToScriptText(target->TypeName()),
                                                           entry ? ToScriptText(entry->Name) : QString::number(id));
    switch (result.Status) {
    case TInvokeStatus::Ok:
        break;
    case TInvokeStatus::MemberNotFound:
        m_engine.throwError(QJSValue::TypeError, QStringLiteral("%1 is not a member").arg(memberName));
        return {};
    case TInvokeStatus::BadParamCount:
        m_engine.throwError(QJSValue::TypeError,
                            QStringLiteral("Wrong number of arguments or wrong kind of call: %1").arg(memberName));
        return {};
    case TInvokeStatus::Exception:
        m_engine.throwError(QJSValue::GenericError, ToScriptText(result.Description));
        return {};
    }

    const TScriptValue& value = result.Value;
    switch (value.Type()) {
    case TScriptValue::TType::Empty:
        return QJSValue(QJSValue::UndefinedValue);
    case TScriptValue::TType::Null:
        return QJSValue(QJSValue::NullValue);
    case TScriptValue::TType::Boolean:
        return QJSValue(value.ToBoolean());
    case TScriptValue::TType::Number:
        return QJSValue(value.Number());
    case TScriptValue::TType::Text:
        return QJSValue(ToScriptText(value.Text()));
    case TScriptValue::TType::Object:
        break;
    }
    if (!value.Object())
        return QJSValue(QJSValue::NullValue);
    QJSValue marker = m_engine.newObject();
    marker.setProperty(QStringLiteral("object"), IndexOf(value.Object()));
    return marker;
}

void TScriptBridge::alert(const QString& text) {
    if (m_onAlert)
        m_onAlert(text);
}

int TScriptBridge::IndexOf(TScriptObject* object) {
    const auto it = std::find(m_objects.begin(), m_objects.end(), object);
    if (it != m_objects.end())
        return static_cast<int>(it - m_objects.begin());
    m_objects.push_back(object);
    return static_cast<int>(m_objects.size()) - 1;
}

TScriptObject* TScriptBridge::ObjectAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_objects.size())
        return nullptr;
    return m_objects[static_cast<std::size_t>(index)];
}
