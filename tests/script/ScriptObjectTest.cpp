#include "TestObject.h"

#include "alerts/AlertItem.h"
#include "script/AlertItemObject.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Type = TScriptValue::Type;

TScriptValue number(double value, std::string text) {
    return TScriptValue::fromScript(Type::Number, false, value, std::move(text));
}

TScriptValue text(std::string value) {
    return TScriptValue::fromText(std::move(value));
}

} // namespace

TEST(ScriptObject, MembersResolveInAnyLetterCase) {
    TTestObject object;
    EXPECT_EQ(object.memberId("add"), TTestObject::kAdd);
    EXPECT_EQ(object.memberId("ADD"), TTestObject::kAdd);
    EXPECT_EQ(object.memberId("Count"), TTestObject::kCount);
    EXPECT_EQ(object.memberId("counts"), TScriptObject::kUnknownMember);
    EXPECT_EQ(object.memberId(""), TScriptObject::kUnknownMember);
    ASSERT_NE(object.member(TTestObject::kCount), nullptr);
    EXPECT_EQ(object.member(TTestObject::kCount)->kind, TMemberKind::Property);
    EXPECT_EQ(object.member(99), nullptr);
    // An id outside the table never reaches the member.
    EXPECT_EQ(object.invoke(99, ckMethod, {}).status, TInvokeStatus::MemberNotFound);
    EXPECT_EQ(object.invoke(-1, ckMethod, {}).status, TInvokeStatus::MemberNotFound);
}

TEST(ScriptObject, BooleanArgumentsAreTrueOnlyForTrueAndMinusOne) {
    const auto boolean = [](bool value) { return TScriptValue::fromScript(Type::Boolean, value, 0, ""); };
    EXPECT_TRUE(boolean(true).toBoolean());
    EXPECT_FALSE(boolean(false).toBoolean());
    EXPECT_FALSE(number(1, "1").toBoolean());
    EXPECT_TRUE(number(-1, "-1").toBoolean());
    EXPECT_TRUE(number(65535, "65535").toBoolean()); // low 16 bits all set
    EXPECT_TRUE(number(131071, "131071").toBoolean());
    EXPECT_FALSE(number(65534, "65534").toBoolean());
    EXPECT_FALSE(number(-1.5, "-1.5").toBoolean());
    EXPECT_FALSE(number(std::numeric_limits<double>::infinity(), "Infinity").toBoolean());
    EXPECT_FALSE(text("true").toBoolean());
    EXPECT_FALSE(text("-1").toBoolean());
    EXPECT_FALSE(TScriptValue().toBoolean());
}

TEST(ScriptObject, ProgramValuesHaveTextForms) {
    EXPECT_EQ(TScriptValue::fromNumber(12).text(), "12");
    EXPECT_EQ(TScriptValue::fromNumber(-0.5).text(), "-0.5");
    EXPECT_EQ(TScriptValue::fromBoolean(true).text(), "true");
    EXPECT_EQ(TScriptValue::null().text(), "null");
    EXPECT_TRUE(TScriptValue().isEmpty());
    EXPECT_EQ(TScriptValue().text(), "");
}

TEST(AlertItemObject, RegisterInfoStoresTextValuesByName) {
    TAlertItem alert;
    TAlertItemObject face(alert);
    EXPECT_EQ(face.typeName(), "AlertItem");
    const int id = face.memberId("RegisterInfo");
    ASSERT_EQ(id, TAlertItemObject::kRegisterInfo);

    EXPECT_EQ(face.invoke(id, ckMethod, {text("Tariff"), text("Standard")}).status, TInvokeStatus::Ok);
    // A number is kept in the text form the script engine gave it; a known name takes the new value.
    EXPECT_EQ(face.invoke(id, ckMethod, {text("b"), number(12.5, "12.5")}).status, TInvokeStatus::Ok);
    EXPECT_EQ(face.invoke(id, ckMethod | ckPropertyGet, {text("a"), text("1")}).status, TInvokeStatus::Ok);
    EXPECT_EQ(face.invoke(id, ckMethod, {text("Tariff"), text("Premium")}).status, TInvokeStatus::Ok);
    const std::map<std::string, std::string> expected = {{"Tariff", "Premium"}, {"a", "1"}, {"b", "12.5"}};
    EXPECT_EQ(alert.InfoValues, expected);
    EXPECT_EQ(alert.InfoValues.begin()->first, "Tariff"); // ascending byte order: upper case first
    EXPECT_EQ(std::next(alert.InfoValues.begin())->first, "a");
}

TEST(AlertItemObject, WrongCallsChangeNothing) {
    TAlertItem alert;
    TAlertItemObject face(alert);
    const int id = TAlertItemObject::kRegisterInfo;
    EXPECT_EQ(face.invoke(id, ckMethod, {text("a")}).status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(face.invoke(id, ckMethod, {}).status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(face.invoke(id, ckMethod, {text("a"), text("b"), text("c")}).status, TInvokeStatus::BadParamCount);
    for (const unsigned kind : {unsigned(ckPropertyGet), unsigned(ckPropertyPut)}) {
        const TInvokeResult result = face.invoke(id, kind, {text("a"), text("b")});
        EXPECT_EQ(result.status, TInvokeStatus::Exception);
        EXPECT_EQ(result.description, "Bad call type!");
    }
    EXPECT_EQ(face.invoke(11, ckMethod, {text("a"), text("b")}).status, TInvokeStatus::MemberNotFound);
    EXPECT_TRUE(alert.InfoValues.empty());
}
