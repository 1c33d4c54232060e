#pragma once

#include "script/ScriptObject.h"

#include <string>

// A script-visible object with one member of each kind: `count` (property, read and written),
// `add(n)` (method, exactly one argument, returns the new count as a number), `self()` (method,
// returns the object itself), `flag(b)` (method, returns the boolean it took) and `text` (read or
// called without arguments: the last text `add` took).
class TTestObject : public TScriptObject {
public:
    static constexpr int kAdd = 1, kCount = 2, kSelf = 3, kFlag = 4, kText = 5;
    int Count = 0;
    std::string LastText;
    TScriptValue::Type LastType = TScriptValue::Type::Empty;

    std::string_view typeName() const override { return "TestObject"; }

protected:
    std::span<const TScriptMember> members() const override {
        static constexpr TScriptMember table[] = {
            {"add", kAdd, TMemberKind::Method},
            {"count", kCount, TMemberKind::Property},
            {"self", kSelf, TMemberKind::Method},
            {"flag", kFlag, TMemberKind::Method},
            {"text", kText, TMemberKind::MethodOrProperty},
        };
        return table;
    }

    TInvokeResult invokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) override {
        switch (id) {
        case kAdd:
            if (!isMethodCall(callKind) || args.size() != 1)
                return TInvokeResult::badParamCount();
            LastText = args[0].text();
            LastType = args[0].type();
            Count += static_cast<int>(args[0].number());
            return TInvokeResult::ok(TScriptValue::fromNumber(Count));
        case kCount:
            if (callKind == ckPropertyGet && args.empty())
                return TInvokeResult::ok(TScriptValue::fromNumber(Count));
            if (callKind == ckPropertyPut && args.size() == 1) {
                Count = static_cast<int>(args[0].number());
                return TInvokeResult::ok();
            }
            return TInvokeResult::badParamCount();
        case kSelf:
            return TInvokeResult::ok(TScriptValue::fromObject(this));
        case kFlag:
            if (args.size() != 1)
                return TInvokeResult::badParamCount();
            return TInvokeResult::ok(TScriptValue::fromBoolean(args[0].toBoolean()));
        case kText:
            if (callKind == ckPropertyPut || !args.empty())
                return TInvokeResult::badParamCount();
            return TInvokeResult::ok(TScriptValue::fromText(LastText));
        }
        return TInvokeResult::memberNotFound();
    }
};
