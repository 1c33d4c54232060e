#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TScriptObject;

// How a script reaches a member. The bits combine as a script engine's dispatch flags do: a call
// may come as a method together with a property read.
enum TCallKind : unsigned {
    ckMethod = 1,
    ckPropertyGet = 2,
    ckPropertyPut = 4,
};

// A value passing between a script and the program: an argument a script hands to a member, the
// result a member gives back, or the return value of a script function.
class TScriptValue {
public:
    enum class TType { Empty, Null, Boolean, Number, Text, Object };

    TScriptValue() = default; // empty: a script's undefined, a function that returns nothing

    static TScriptValue Null();
    static TScriptValue FromBoolean(bool value);
    static TScriptValue FromNumber(double value);
    static TScriptValue FromText(std::string text);
    // A program object; the program keeps owning it.
    static TScriptValue FromObject(TScriptObject* object);
    // A value a script supplied, with the engine's own text form of it; an undefined or null one
    // (Empty, Null) has the empty text, so a member taking a text stores nothing for it.
    static TScriptValue FromScript(TType type, bool boolean, double number, std::string text);

    TType Type() const { return m_type; }
    bool IsEmpty() const { return m_type == TType::Empty; }
    // The text form: for values from a script the engine's (a number becomes its text, true
    // becomes "true"), empty for their undefined and null; empty for an empty value.
    const std::string& Text() const { return m_text; }
    // True only for the boolean true and for an integer whose low 16 bits are all set (-1): the
    // number 1 and the text "true" are false.
    bool ToBoolean() const;
    double Number() const { return m_number; }
    TScriptObject* Object() const { return m_object; }

private:
    TType m_type = TType::Empty;
    bool m_boolean = false;
    double m_number = 0;
    std::string m_text;
    TScriptObject* m_object = nullptr;
};

enum class TInvokeStatus {
    Ok,
    MemberNotFound, // no member with that id
    BadParamCount,  // wrong number of arguments, or a call kind the member does not accept
    Exception,      // the member failed; the description says why
};

struct TInvokeResult {
    TInvokeStatus Status = TInvokeStatus::Ok;
    TScriptValue Value;
    std::string Description;

    static TInvokeResult Ok(TScriptValue value = {});
    static TInvokeResult MemberNotFound();
    static TInvokeResult BadParamCount();
    static TInvokeResult Exception(std::string description);
};

// Property members answer a property read with their value; method members are called. A member
// that takes both forms without arguments (a count, a page's text) answers a read with a value that
// can also be called: it reads as its value (its text methods, comparison, arithmetic, conversion)
// and calling it invokes the member as a method.
enum class TMemberKind { Method, Property, MethodOrProperty };

struct TScriptMember {
    std::string_view Name; // lower case
    int Id;                // not negative
    TMemberKind Kind;
};

// A program object that scripts reach by name. Each class has a fixed table of lower-case member
// names and ids; names resolve without regard to letter case, and each member checks its call
// kind and argument count itself. Scripts never own these objects: the program does, and they
// must outlive the script runs that see them.
class TScriptObject {
public:
    static constexpr int kUnknownMember = -1;

    TScriptObject() = default;
    TScriptObject(const TScriptObject&) = delete;
    TScriptObject& operator=(const TScriptObject&) = delete;
    virtual ~TScriptObject() = default;

    // The object's name in error descriptions ("AlertItem").
    virtual std::string_view TypeName() const = 0;

    // The id of a member named in any letter case, or kUnknownMember.
    int MemberId(std::string_view name) const;
    // The table entry of an id, or nullptr.
    const TScriptMember* member(int id) const;

    // Runs a member. Arguments are in the order the script wrote them. An id outside the table
    // gives MemberNotFound without reaching the member.
    TInvokeResult invoke(int id, unsigned callKind, const std::vector<TScriptValue>& args);

protected:
    virtual std::span<const TScriptMember> Members() const = 0;
    virtual TInvokeResult InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) = 0;

    // A call as a method, possibly flagged as a property read too.
    static bool IsMethodCall(unsigned callKind) {
        return callKind == ckMethod || callKind == (ckMethod | ckPropertyGet);
    }
};

// Objects a host makes reachable by name: (lower-case name, object), first of a name wins.
using TNamedObjects = std::vector<std::pair<std::string, TScriptObject*>>;
