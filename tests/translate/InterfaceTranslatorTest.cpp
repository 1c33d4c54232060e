#include "translate/InterfaceTranslator.h"

#include "support/TestSupport.h"
#include "translate/Messages.h"

#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Stands in for the widget library: the "forms" are plain objects, and translating one records it.
class RecordingForms : public IFormTranslation {
public:
    std::vector<QObject*> forms;
    std::vector<QString> translated;
    std::vector<QObject*> ExistingForms() override { return forms; }
    void ApplyToForm(TInterfaceTranslator&, QObject* form) override { translated.push_back(form->objectName()); }
};

class InterfaceTranslatorTest : public ::testing::Test {
protected:
    std::string WriteTranslation(const std::string& name, const std::string& text) {
        const std::string path = m_dir.file(name);
        WriteFileBytes(path, text);
        return path;
    }
    void Activate(TInterfaceTranslator& translator, const std::string& text) {
        translator.SetFileName(WriteTranslation("interface.txt", text));
        translator.SetActive(true);
    }

    TempDir m_dir;
};

} // namespace

TEST(InterfaceTranslatorHash, Crc32AsZlibComputesIt) {
    EXPECT_EQ(TInterfaceTranslator::GetHash("abc"), "891568578");
    EXPECT_EQ(TInterfaceTranslator::GetHash("ob"), "00026083"); // at least eight digits
    EXPECT_EQ(TInterfaceTranslator::GetHash("123456789"), "3421780262");
    EXPECT_EQ(TInterfaceTranslator::GetHash(""), "BAD_STR_HASH");
}

TEST_F(InterfaceTranslatorTest, MessagesComeFromTheCustomSectionElseTheBuiltInTable) {
    TInterfaceTranslator translator;
    Activate(translator, "[Main]\r\nLANG.NAME=de\r\n\r\n[custom]\r\n"
                         "RES.1048=Lade Alarme aus '%s'...\r\n"
                         "RES.1055.x=Bereit.\r\n"
                         "Other.1006=Nachricht\r\n"
                         "RES1049=no second part\r\n"
                         "RES.1049=after the end of the section\r\n");
    EXPECT_EQ(translator.LoadStr(1048), "Lade Alarme aus '%s'...");
    EXPECT_EQ(translator.LoadStr(1055), "Bereit.");   // the last part holds the value
    EXPECT_EQ(translator.LoadStr(1006), "Nachricht"); // only the second part is compared
    EXPECT_EQ(translator.LoadStr(1049), BuiltInMessage(1049));
    EXPECT_EQ(translator.LoadStr(1063), "");

    translator.CustomSectionName = "OTHER";
    EXPECT_EQ(translator.LoadStr(1048), BuiltInMessage(1048));
    translator.CustomSectionName = "CUSTOM";
    translator.TranslationMode = TTranslationMode::tmWrite;
    EXPECT_EQ(translator.LoadStr(1048), BuiltInMessage(1048));
    EXPECT_EQ(translator.GetValue("MAIN", "LANG.NAME"), "");
}

TEST_F(InterfaceTranslatorTest, AByteOrderMarkIsDroppedAndAnOversizedFileIsRefused) {
    TInterfaceTranslator translator;
    // Editors may start a UTF-8 file with a byte-order mark: the first section still counts.
    Activate(translator, "\xEF\xBB\xBF[CUSTOM]\r\nRES.1008=Gut\r\n");
    EXPECT_EQ(translator.LoadStr(1008), "Gut");
    EXPECT_EQ(translator.RefusedFileSize(), 0u);

    // A file past the limit is not read at all; its size is kept for the log line. One just at the
    // limit is read.
    std::string text = "[CUSTOM]\r\nRES.1008=Riesig\r\n\r\n[PADDING]\r\n";
    text.resize(TInterfaceTranslator::kMaxFileBytes + 1, 'x');
    translator.SetFileName(WriteTranslation("huge.txt", text));
    EXPECT_EQ(translator.LoadStr(1008), "OK");
    EXPECT_EQ(translator.RefusedFileSize(), TInterfaceTranslator::kMaxFileBytes + 1);
    text.pop_back();
    translator.SetFileName(WriteTranslation("large.txt", text));
    EXPECT_EQ(translator.LoadStr(1008), "Riesig");
    EXPECT_EQ(translator.RefusedFileSize(), 0u);
}

TEST_F(InterfaceTranslatorTest, MessagesComeFromAnIndexAndLeaveAWalkOfTheFileWhereItWas) {
    TInterfaceTranslator translator;
    Activate(translator, "[fmMain]\nfmMain.btnOK.Caption=Gut\nfmMain.btnCancel.Caption=Nein\n"
                         "[CUSTOM]\nRES.1008=Fein\nRES.1008=second\n");
    // A form's section is being applied when a handler asks for a message: the message comes from
    // the index made when the file was read, and the walk goes on with the form's next entry.
    IInterfaceStore& store = translator.Store();
    ASSERT_TRUE(store.FindSection("fmMain"));
    ASSERT_TRUE(store.NextEntry());
    EXPECT_EQ(translator.LoadStr(1008), "Fein"); // the first entry of a number wins
    EXPECT_EQ(translator.Translate(std::string("OK")), "OK");
    ASSERT_TRUE(store.NextEntry());
    TKeyPart part;
    std::string key;
    while (store.ReadKeyPart(part))
        key += part.Part + (part.IsLast ? "=" + part.Value : ".");
    EXPECT_EQ(key, "fmMain.btnCancel.Caption=Nein");
}

TEST_F(InterfaceTranslatorTest, GetValueMatchesTheJoinedKeyExactly) {
    TInterfaceTranslator translator;
    Activate(translator, "[MAIN]\nLANG.NAME=de\n[ALERTS]\nI.mobile.operators=wrong case\nI.Mobile.Operators=Mobilfunk\n"
                         "I.Mobile=Mobil\n");
    EXPECT_EQ(translator.GetValue("main", "LANG.NAME"), "de");
    EXPECT_EQ(translator.GetValue("ALERTS", "I.Mobile.Operators"), "Mobilfunk");
    EXPECT_EQ(translator.GetValue("ALERTS", "I.Mobile"), "Mobil");
    EXPECT_EQ(translator.GetValue("ALERTS", "I.MOBILE"), "");
    EXPECT_EQ(translator.GetValue("ALERTS", "I.Mobile.Operators.x"), "");
    EXPECT_EQ(translator.GetValue("NONE", "LANG.NAME"), "");
}

TEST_F(InterfaceTranslatorTest, TranslatesTextsByTheirHash) {
    TInterfaceTranslator translator;
    Activate(translator, "[CUSTOM]\nT." + TInterfaceTranslator::GetHash("Balance List") + "=Kontostände\n");
    EXPECT_EQ(translator.Translate(std::string("Balance List")), "Kontostände");
    EXPECT_EQ(translator.Translate(std::string("balance list")), "balance list");
    EXPECT_EQ(translator.Translate(std::string()), "");
}

TEST_F(InterfaceTranslatorTest, ActivationAndFileNameLifecycle) {
    TInterfaceTranslator translator;
    RecordingForms forms;
    QObject form;
    form.setObjectName("fmMain");
    forms.forms = {&form};
    translator.SetFormTranslation(&forms);

    // No file name: stays off, with the error.
    try {
        translator.SetActive(true);
        FAIL() << "no error";
    } catch (const ETranslatorError& error) {
        EXPECT_STREQ(error.what(), "Please specify output file name!");
    }
    EXPECT_FALSE(translator.Active());
    translator.Translate(&form);
    EXPECT_TRUE(forms.translated.empty());

    // Setting the name of an inactive translator reads nothing; switching on reads and translates.
    const std::string first = WriteTranslation("first.txt", "[CUSTOM]\nRES.1008=Gut\n");
    const std::string second = WriteTranslation("second.txt", "[CUSTOM]\nRES.1008=Fein\n");
    translator.SetFileName(first);
    EXPECT_EQ(translator.LoadStr(1008), "OK");
    translator.SetActive(true);
    EXPECT_TRUE(translator.Active());
    EXPECT_EQ(translator.LoadStr(1008), "Gut");
    EXPECT_EQ(forms.translated, std::vector<QString>{"fmMain"});
    translator.SetActive(true); // already on: nothing happens
    EXPECT_EQ(forms.translated.size(), 1u);

    // A new name while active is read and applied at once.
    translator.SetFileName(second);
    EXPECT_EQ(translator.LoadStr(1008), "Fein");
    EXPECT_EQ(forms.translated.size(), 2u);
    translator.SetFileName(second); // same name: nothing
    EXPECT_EQ(forms.translated.size(), 2u);

    // Switching off only clears the flag; a missing file is an empty translation.
    translator.SetActive(false);
    EXPECT_EQ(translator.LoadStr(1008), "Fein");
    translator.SetFileName(m_dir.file("missing.txt"));
    translator.SetActive(true);
    EXPECT_TRUE(translator.Active());
    EXPECT_EQ(translator.LoadStr(1008), "OK");

    // While loading, changes are only recorded; Loaded reads and applies them.
    TInterfaceTranslator loading;
    loading.SetFormTranslation(&forms);
    forms.translated.clear();
    loading.BeginLoading();
    loading.SetActive(true);
    loading.SetFileName(first);
    EXPECT_TRUE(forms.translated.empty());
    EXPECT_EQ(loading.LoadStr(1008), "OK");
    loading.Loaded();
    EXPECT_EQ(loading.LoadStr(1008), "Gut");
    EXPECT_EQ(forms.translated, std::vector<QString>{"fmMain"});
}

TEST(InterfaceTranslatorNames, NamelessFormsWithAnOwnerGetAName) {
    QObject owner;
    auto* taken = new QObject(&owner);
    taken->setObjectName("timer1");
    auto* timer = new QTimer(&owner);
    AssignComponentName(timer);
    EXPECT_EQ(timer->objectName(), "Timer2");
    auto* other = new QTimer(&owner);
    AssignComponentName(other);
    EXPECT_EQ(other->objectName(), "Timer3");
    AssignComponentName(other); // named already: kept
    EXPECT_EQ(other->objectName(), "Timer3");
    QTimer orphan;
    AssignComponentName(&orphan);
    EXPECT_EQ(orphan.objectName(), "");
}

TEST(InterfaceTranslatorClasses, DisallowedClassesAreKeptOnceAndMatchedExactly) {
    TInterfaceTranslator translator;
    translator.AddDisallowedMetaclass(&QTimer::staticMetaObject);
    translator.AddDisallowedMetaclass(&QTimer::staticMetaObject);
    translator.AddDisallowedMetaclass(nullptr);
    EXPECT_EQ(translator.GetDisallowedCount(), 1);
    EXPECT_EQ(translator.GetDisallowedMetaclass(0), &QTimer::staticMetaObject);
    EXPECT_EQ(translator.GetDisallowedMetaclass(1), nullptr);
    EXPECT_TRUE(translator.IsDisallowedClass(&QTimer::staticMetaObject));
    EXPECT_FALSE(translator.IsDisallowedClass(&QObject::staticMetaObject));
}

TEST_F(InterfaceTranslatorTest, ProgramMessagesGoThroughTheInstalledTranslatorFromAnyThread) {
    {
        TInterfaceTranslator translator;
        SetInterfaceTranslator(&translator);
        EXPECT_EQ(&InterfaceTranslator(), &translator);
        // Installed but not active: the built-in texts.
        EXPECT_FALSE(InterfaceTranslatorActive());
        EXPECT_EQ(LoadStr(1052), "Initializing...");

        Activate(translator, "[CUSTOM]\r\nRES.1052=Starte...\r\n");
        EXPECT_TRUE(InterfaceTranslatorActive());
        EXPECT_EQ(LoadStr(1052), "Starte...");
        EXPECT_EQ(LoadStr(1055), "Program ready.");

        // A worker thread gets its text from the user-interface thread.
        std::string fromWorker;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            fromWorker = LoadStr(1052);
            done = true;
        });
        EXPECT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
        worker.join();
        EXPECT_EQ(fromWorker, "Starte...");
    }
    // The destroyed translator took itself out.
    EXPECT_FALSE(InterfaceTranslatorActive());
    EXPECT_EQ(LoadStr(1052), "Initializing...");
    EXPECT_FALSE(InterfaceTranslator().Active());
}
