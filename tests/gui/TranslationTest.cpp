#include "TestConfig.h"
#include "alerts/ui/EditBalanceAlert.h"
#include "app/Services.h"
#include "app/ui/About.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "currency/CurrencyList.h"
#include "currency/ui/CurrencyRatesWindow.h"
#include "currency/ui/EditCurrencyRates.h"
#include "discover/ui/AddAccountWizard.h"
#include "gui/GuiTestSupport.h"
#include "history/ui/HistoryWindow.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"
#include "translate/InterfaceStore.h"
#include "translate/Messages.h"
#include "translate/ui/FormTranslator.h"
#include "translate/ui/QtTranslation.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>

namespace {

const std::string kGermanFile = std::string(TALLYGLASS_SOURCE_DIR) + "/data/translations/interface.de.txt";

// The Balance List's owner for a window that only shows its texts.
struct SilentBalanceListOwner : IBalanceListOwner {
    void NotifyBalanceChanged(TAlertItem&) override {}
    void NotifyBalanceUnavailable(TAlertItem&) override {}
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
};

// The owner of a currency rates window that only shows its texts.
struct SilentCurrencyRatesOwner : ICurrencyRatesOwner {
    void ShowBalloon(const std::string&, const std::string&, int) override {}
    void CurrencyWindowShown(TCurrencyList&, bool) override {}
};

// Every form the program creates, built untranslated.
std::vector<std::unique_ptr<QWidget>> programForms() {
    static SilentBalanceListOwner balanceListOwner;
    std::vector<std::unique_ptr<QWidget>> forms;
    forms.push_back(std::make_unique<TfmMain>());
    forms.push_back(std::make_unique<TfmInputBox>());
    forms.push_back(std::make_unique<TfmAbout>());
    forms.push_back(std::make_unique<TfmBalanceList>(balanceListOwner, std::make_shared<TLogFile>(), std::string()));
    static TAlertItem alert;
    forms.push_back(std::make_unique<TfmEditBalanceAlert>(nullptr, alert));
    static SilentCurrencyRatesOwner currencyRatesOwner;
    static const auto currencyList = [] {
        auto list = std::make_shared<TCurrencyList>();
        list->ScriptFileName = "forms.js";
        return list;
    }();
    forms.push_back(std::make_unique<TfmCurrencyRatesList>(currencyList, currencyRatesOwner, nullptr));
    forms.push_back(std::make_unique<TfmEditCurrencyRates>(*currencyList));
    THistorySubject historySubject;
    historySubject.AlertKey = "forms";
    forms.push_back(std::make_unique<TfmHistory>(historySubject, nullptr, TRegistry::Instance(), nullptr));
    static const std::vector<std::shared_ptr<TAlertItems>> noLists;
    static TAccountWizard wizard(std::string(), noLists);
    forms.push_back(std::make_unique<TfmAddAccount>(nullptr, wizard));
    return forms;
}

// The "%s", "%d" and "%u" of a message format, in order.
std::string placeholders(const std::string& format) {
    std::string found;
    for (std::size_t i = 0; i + 1 < format.size(); ++i)
        if (format[i] == '%') {
            if (format[i + 1] == 's' || format[i + 1] == 'd' || format[i + 1] == 'u')
                found += format[i + 1];
            ++i;
        }
    return found;
}

// The entries of the file: section -> key -> value, read with the program's own store, which also
// proves that every section parses whole: a line the store does not take ends its section early,
// and the entries after it would be reported missing.
std::map<std::string, std::map<std::string, std::string>> readEntries(const std::string& path) {
    TIniInterfaceStore store;
    std::ifstream file(path, std::ios::binary);
    store.LoadFromStream(file);
    std::map<std::string, std::map<std::string, std::string>> entries;
    std::size_t entryLines = 0;
    for (const std::string& line : store.Lines()) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            const std::string section = line.substr(1, line.size() - 2);
            if (!store.FindSection(section))
                continue;
            while (store.NextEntry()) {
                std::string key;
                TKeyPart part;
                while (store.ReadKeyPart(part)) {
                    key += (key.empty() ? "" : ".") + part.Part;
                    if (part.IsLast) {
                        entries[section][key] = part.Value;
                        break;
                    }
                }
            }
        } else if (TIniInterfaceStore::IsEntryLine(line)) {
            ++entryLines;
        }
    }
    std::size_t read = 0;
    for (const auto& [section, values] : entries)
        read += values.size();
    EXPECT_EQ(read, entryLines) << "some entries were not read";
    return entries;
}

class Translation : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir.path() + "/data"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path() + "/config"));
        TRegistry::Instance().DeleteKey(kProgramKey);
        auto key = TRegistry::Instance().OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", Md5Hex("pw"));
    }
    void TearDown() override {
        ClearDialogAnswers();
        LanguageCode() = "en";
        InstallQtTranslation(std::string()); // Qt's English for the tests that follow
    }
    TempDir m_dir;
};

} // namespace

TEST_F(Translation, GermanFileCoversEveryFormTextAndMessageAndNamesOnlyWhatExists) {
    const auto entries = readEntries(kGermanFile);
    ASSERT_FALSE(entries.empty()) << kGermanFile;
    ASSERT_TRUE(entries.count("MAIN"));
    EXPECT_EQ(entries.at("MAIN").at("LANG.NAME"), "de");

    TInterfaceTranslator texts;
    texts.IgnoreComponentTag = -100;
    std::set<std::string> formNames;
    for (const auto& form : programForms()) {
        const std::string name = form->objectName().toStdString();
        formNames.insert(name);
        EXPECT_TRUE(entries.count(name)) << "no section [" << name << "]";
        const auto& section = entries.count(name) ? entries.at(name) : std::map<std::string, std::string>();
        for (const auto& [key, english] : FormTexts(texts, form.get()))
            EXPECT_TRUE(section.count(key)) << "missing " << key << "=" << english;
        // Every entry names a component of the form that exists.
        for (const auto& [key, value] : section) {
            const QStringList parts = QString::fromStdString(key).split(QLatin1Char('.'));
            ASSERT_GE(parts.size(), 2) << key;
            EXPECT_EQ(parts.front().toStdString(), name) << key;
            QObject* current = form.get();
            for (int i = 1; i + 1 < parts.size(); ++i) {
                current = FindOwnedComponent(current, parts[i]);
                ASSERT_NE(current, nullptr) << "no component for " << key;
            }
        }
    }
    for (const auto& [section, values] : entries)
        EXPECT_TRUE(formNames.count(section) || section == "CUSTOM" || section == "MAIN" || section == "ALERTS")
            << "unknown section " << section;
    for (unsigned id = 1000; id < 3000; ++id) {
        if (!BuiltInMessage(id).empty()) {
            EXPECT_TRUE(entries.count("CUSTOM") && entries.at("CUSTOM").count("RES." + std::to_string(id)))
                << "missing RES." << id << "=" << BuiltInMessage(id);
            // A translated format takes the same arguments in the same order: a placeholder lost
            // in translation drops a text the program gives it.
            if (entries.count("CUSTOM") && entries.at("CUSTOM").count("RES." + std::to_string(id))) {
                EXPECT_EQ(placeholders(entries.at("CUSTOM").at("RES." + std::to_string(id))),
                          placeholders(BuiltInMessage(id)))
                    << "RES." << id;
            }
        }
    }
}

TEST_F(Translation, AFileBesideTheProgramTranslatesFormsMessagesAndTheLanguageCode) {
    WriteFileBytes(m_dir.file("interface.txt"), "[MAIN]\r\nLANG.NAME=xx\r\n\r\n"
                                                "[fmMain]\r\n"
                                                "fmMain.btnOK.Caption=Save \r\n"
                                                "fmMain.cbShowHints.Hint=Tips\r\n"
                                                "; a comment ends the section\r\n"
                                                "fmMain.btnCancel.Caption=Never\r\n"
                                                "[fmInputBox]\r\nfmInputBox.btnCancel.Caption=Abort\r\n"
                                                "[CUSTOM]\r\nRES.1002=Passwort eingeben\r\nRES.1055=Fertig.\r\n");
    std::vector<SeenDialog> seen;
    QString cancelCaption;
    PushDialogAnswer([&cancelCaption](QDialog& dialog) {
        auto& box = dynamic_cast<TfmInputBox&>(dialog);
        cancelCaption = box.btnCancel->text();
        box.edInput->setText(QStringLiteral("pw"));
        return static_cast<int>(QDialog::Accepted);
    });
    TfmMain form;
    form.Settings.ExePath = m_dir.path() + "/";
    ASSERT_TRUE(form.FormCreate());
    EXPECT_EQ(form.btnOK->text(), QStringLiteral("Save"));
    EXPECT_EQ(form.cbShowHints->toolTip(), QStringLiteral("Tips"));
    EXPECT_EQ(form.btnCancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(cancelCaption, QStringLiteral("Abort"));
    EXPECT_EQ(LanguageCode(), "xx");
    EXPECT_EQ(LoadStr(1055), "Fertig.");
    EXPECT_EQ(LoadStr(1052), "Initializing...");
    const auto lines = SplitOnCrLf(ReadFileBytes(m_dir.path() + "/data/TallyData/log.txt"));
    EXPECT_TRUE(lines.back().ends_with(": Fertig."));
}

TEST_F(Translation, TheListOptionsUnitsAreTheirPositionsWhateverTheTranslationHolds) {
    // A translation with a unit more than the program has: the items lose the data they were made
    // with, and the unit stored must still be the one shown.
    WriteFileBytes(m_dir.file("interface.txt"),
                   "[fmEditCurrencyRates]\r\n"
                   "fmEditCurrencyRates.cbTypes.Items=Minuten{CRLF}Stunden{CRLF}Tage{CRLF}Wochen{CRLF}\r\n");
    AnswerInputBox("pw");
    TfmMain form;
    form.Settings.ExePath = m_dir.path() + "/";
    ASSERT_TRUE(form.FormCreate());
    TCurrencyList list;
    list.PeriodType = TPeriodType::hours;
    {
        TfmEditCurrencyRates dialog(list);
        ASSERT_EQ(dialog.cbTypes->count(), 4);
        EXPECT_EQ(dialog.cbTypes->currentText(), QStringLiteral("Stunden"));
        dialog.btnOK->click();
        EXPECT_EQ(list.PeriodType, TPeriodType::hours);
    }
    TfmEditCurrencyRates dialog(list);
    dialog.cbTypes->setCurrentIndex(2);
    dialog.btnOK->click();
    EXPECT_EQ(list.PeriodType, TPeriodType::days);
}

TEST_F(Translation, TheShippedGermanFileTranslatesTheProgram) {
    WriteFileBytes(m_dir.file("interface.txt"), ReadFileBytes(kGermanFile));
    AnswerInputBox("pw");
    TfmMain form;
    form.Settings.ExePath = m_dir.path() + "/";
    ASSERT_TRUE(form.FormCreate());
    EXPECT_EQ(LanguageCode(), "de");
    EXPECT_NE(form.pcMain->tabText(0), QStringLiteral("General"));
    EXPECT_NE(form.cbShowHints->text(), QStringLiteral("Show hints"));
    EXPECT_NE(LoadStr(1055), BuiltInMessage(1055));
    // Qt's own texts speak the same language: the buttons of the program's questions, and key names.
    QString yes;
    QString no;
    PushDialogAnswer([&yes, &no](QDialog& dialog) {
        auto& box = dynamic_cast<QMessageBox&>(dialog);
        yes = box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&'));
        no = box.button(QMessageBox::No)->text().remove(QLatin1Char('&'));
        return static_cast<int>(QMessageBox::No);
    });
    ShowMessageBox(&form, LoadStr(1074), LoadStr(1006), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(yes, QStringLiteral("Ja")) << "Qt's translations (qt6-translations-l10n) are not installed?";
    EXPECT_EQ(no, QStringLiteral("Nein"));
    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_B).toString(QKeySequence::NativeText), QStringLiteral("Strg+B"));
    TfmAbout about;
    // The version and the addresses keep their texts.
    EXPECT_EQ(about.lblVersion->text(), ApplicationTitle());
    EXPECT_EQ(about.lblEmailLink->text(), QStringLiteral("support@tallyglass.example"));
    EXPECT_NE(about.gbAbout->title(), QStringLiteral("About program"));

    // The translated unit list keeps the units by position; the interval field shows the alert's.
    TAlertItem alert;
    alert.SetInterval(45, TPeriodType::days);
    TfmEditBalanceAlert edit(&form, alert);
    ASSERT_EQ(edit.cbTypes->count(), 3);
    EXPECT_EQ(edit.cbTypes->currentText(), QStringLiteral("Tage"));
    EXPECT_EQ(edit.edInterval->text(), QStringLiteral("45"));
    EXPECT_EQ(edit.lblCheckInterval->text(), QStringLiteral("Prüfen alle:"));
    edit.cbTypes->setCurrentIndex(0);
    edit.btnOK->click();
    EXPECT_EQ(alert.PeriodType, TPeriodType::minutes);
    EXPECT_EQ(alert.Period, 45);
}
