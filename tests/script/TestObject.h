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
    TScriptValue::TType LastType = TScriptValue::TType::Empty;

    std::string_view TypeName() const override { return "TestObject"; }

protected:
    std::span<const TScriptMember> Members() const override {
        static constexpr TScriptMember table[] = {
            {"add", kAdd, TMemberKind::Method},
            {"count", kCount, TMemberKind::Property},
            {"self", kSelf, TMemberKind::Method},
            {"flag", kFlag, TMemberKind::Method},
            {"text", kText, TMemberKind::MethodOrProperty},
        };
        return table;
    }

    TInvokeResult InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) override {
        switch (id) {
        case kAdd:
            if (!IsMethodCall(callKind) || args.size() != 1)
                return TInvokeResult::BadParamCount();
            LastText = args[0].Text();
            LastType = args[0].Type();
            Count += static_cast<int>(args[0].Number());
            return TInvokeResult::Ok(TScriptValue::FromNumber(Count));
        case kCount:
            if (callKind == ckPropertyGet && args.empty())
                return TInvokeResult::Ok(TScriptValue::FromNumber(Count));
            if (callKind == ckPropertyPut && args.size() == 1) {
                Count = static_cast<int>(args[0].Number());
                return TInvokeResult::Ok();
            }
            return TInvokeResult::BadParamCount();
        case kSelf:
            return TInvokeResult::Ok(TScriptValue::FromObject(this));
        case kFlag:
            if (args.size() != 1)
                return TInvokeResult::BadParamCount();
            return TInvokeResult::Ok(TScriptValue::FromBoolean(args[0].ToBoolean()));
        case kText:
            if (callKind == ckPropertyPut || !args.empty())
                return TInvokeResult::BadParamCount();
            return TInvokeResult::Ok(TScriptValue::FromText(LastText));
        }
        return TInvokeResult::MemberNotFound();
    }
};
