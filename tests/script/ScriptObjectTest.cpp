#include "TestObject.h"

#include "alerts/AlertItem.h"
#include "script/AlertItemObject.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Type = TScriptValue::TType;

TScriptValue number(double value, std::string text) {
    return TScriptValue::FromScript(Type::Number, false, value, std::move(text));
}

TScriptValue text(std::string value) {
    return TScriptValue::FromText(std::move(value));
}

} // namespace

TEST(ScriptObject, MembersResolveInAnyLetterCase) {
    TTestObject object;
    EXPECT_EQ(object.MemberId("add"), TTestObject::kAdd);
    EXPECT_EQ(object.MemberId("ADD"), TTestObject::kAdd);
    EXPECT_EQ(object.MemberId("Count"), TTestObject::kCount);
    EXPECT_EQ(object.MemberId("counts"), TScriptObject::kUnknownMember);
    EXPECT_EQ(object.MemberId(""), TScriptObject::kUnknownMember);
    ASSERT_NE(object.member(TTestObject::kCount), nullptr);
    EXPECT_EQ(object.member(TTestObject::kCount)->Kind, TMemberKind::Property);
    EXPECT_EQ(object.member(99), nullptr);
    // An id outside the table never reaches the member.
    EXPECT_EQ(object.invoke(99, ckMethod, {}).Status, TInvokeStatus::MemberNotFound);
    EXPECT_EQ(object.invoke(-1, ckMethod, {}).Status, TInvokeStatus::MemberNotFound);
}

TEST(ScriptObject, BooleanArgumentsAreTrueOnlyForTrueAndMinusOne) {
    const auto boolean = [](bool value) { return TScriptValue::FromScript(Type::Boolean, value, 0, ""); };
    EXPECT_TRUE(boolean(true).ToBoolean());
    EXPECT_FALSE(boolean(false).ToBoolean());
    EXPECT_FALSE(number(1, "1").ToBoolean());
    EXPECT_TRUE(number(-1, "-1").ToBoolean());
    EXPECT_TRUE(number(65535, "65535").ToBoolean()); // low 16 bits all set
    EXPECT_TRUE(number(131071, "131071").ToBoolean());
    EXPECT_FALSE(number(65534, "65534").ToBoolean());
    EXPECT_FALSE(number(-1.5, "-1.5").ToBoolean());
    EXPECT_FALSE(number(std::numeric_limits<double>::infinity(), "Infinity").ToBoolean());
    EXPECT_FALSE(text("true").ToBoolean());
    EXPECT_FALSE(text("-1").ToBoolean());
    EXPECT_FALSE(TScriptValue().ToBoolean());
}

TEST(ScriptObject, ProgramValuesHaveTextForms) {
    EXPECT_EQ(TScriptValue::FromNumber(12).Text(), "12");
    EXPECT_EQ(TScriptValue::FromNumber(-0.5).Text(), "-0.5");
    EXPECT_EQ(TScriptValue::FromBoolean(true).Text(), "true");
    EXPECT_EQ(TScriptValue::Null().Text(), "null");
    EXPECT_TRUE(TScriptValue().IsEmpty());
    EXPECT_EQ(TScriptValue().Text(), "");
}

TEST(AlertItemObject, RegisterInfoStoresTextValuesByName) {
    TAlertItem alert;
    TAlertItemObject face(alert);
    EXPECT_EQ(face.TypeName(), "AlertItem");
    const int id = face.MemberId("RegisterInfo");
    ASSERT_EQ(id, TAlertItemObject::kRegisterInfo);

    EXPECT_EQ(face.invoke(id, ckMethod, {text("Tariff"), text("Standard")}).Status, TInvokeStatus::Ok);
    // A number is kept in the text form the script engine gave it; a known name takes the new value.
    EXPECT_EQ(face.invoke(id, ckMethod, {text("b"), number(12.5, "12.5")}).Status, TInvokeStatus::Ok);
    EXPECT_EQ(face.invoke(id, ckMethod | ckPropertyGet, {text("a"), text("1")}).Status, TInvokeStatus::Ok);
    EXPECT_EQ(face.invoke(id, ckMethod, {text("Tariff"), text("Premium")}).Status, TInvokeStatus::Ok);
    const std::map<std::string, std::string> expected = {{"Tariff", "Premium"}, {"a", "1"}, {"b", "12.5"}};
    EXPECT_EQ(alert.InfoValues, expected);
    EXPECT_EQ(alert.InfoValues.begin()->first, "Tariff"); // ascending byte order: upper case first
    EXPECT_EQ(std::next(alert.InfoValues.begin())->first, "a");
}

TEST(AlertItemObject, WrongCallsChangeNothing) {
    TAlertItem alert;
    TAlertItemObject face(alert);
    const int id = TAlertItemObject::kRegisterInfo;
    EXPECT_EQ(face.invoke(id, ckMethod, {text("a")}).Status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(face.invoke(id, ckMethod, {}).Status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(face.invoke(id, ckMethod, {text("a"), text("b"), text("c")}).Status, TInvokeStatus::BadParamCount);
    for (const unsigned kind : {unsigned(ckPropertyGet), unsigned(ckPropertyPut)}) {
        const TInvokeResult result = face.invoke(id, kind, {text("a"), text("b")});
        EXPECT_EQ(result.Status, TInvokeStatus::Exception);
        EXPECT_EQ(result.Description, "Bad call type!");
    }
    EXPECT_EQ(face.invoke(11, ckMethod, {text("a"), text("b")}).Status, TInvokeStatus::MemberNotFound);
    EXPECT_TRUE(alert.InfoValues.empty());
}
