#include "translate/ui/FormTranslator.h"

#include "support/TestSupport.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

namespace {

// A small form with controls of every kind the translator knows, nested as real forms nest them.
struct TestForm {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QTabWidget* pcMain = new QTabWidget(form.get());
    QWidget* tsGeneral = new QWidget;
    QGroupBox* gbMain = new QGroupBox("Main", tsGeneral);
    QPushButton* btnOK = new QPushButton("OK", gbMain);
    QPushButton* btnCancel = new QPushButton("Cancel", form.get());
    QPushButton* btnMore = new QPushButton("More", form.get());
    QMenu* btnMoreMenu = new QMenu("More menu", btnMore);
    QComboBox* cbTypes = new QComboBox(gbMain);
    QLabel* lblInfo = new QLabel("Info", gbMain);
    QLineEdit* edName = new QLineEdit("Name", gbMain);
    QPlainTextEdit* mmNotes = new QPlainTextEdit("one\ntwo", gbMain);
    QTreeWidget* lvList = new QTreeWidget(form.get());
    QTableWidget* lvRates = new QTableWidget(0, 2, form.get());
    QMenu* pmTray = new QMenu("Tray", form.get());
    QAction* miShow = pmTray->addAction("Show");
    QAction* N1 = pmTray->addSeparator();
    QAction* miExit = pmTray->addAction("Exit");
    QDialog* dlgChild = new QDialog(form.get());
    QPushButton* btnInside = new QPushButton("Inside", dlgChild);

    TestForm() {
        form->setObjectName("fmTest");
        form->setWindowTitle("Test");
        pcMain->setObjectName("pcMain");
        pcMain->addTab(tsGeneral, "General");
        tsGeneral->setObjectName("tsGeneral");
        for (auto [object, name] : std::initializer_list<std::pair<QObject*, const char*>>{{gbMain, "gbMain"},
                                                                                           {btnOK, "btnOK"},
                                                                                           {btnCancel, "btnCancel"},
                                                                                           {btnMore, "btnMore"},
                                                                                           {cbTypes, "cbTypes"},
                                                                                           {lblInfo, "lblInfo"},
                                                                                           {edName, "edName"},
                                                                                           {mmNotes, "mmNotes"},
                                                                                           {lvList, "lvList"},
                                                                                           {lvRates, "lvRates"},
                                                                                           {pmTray, "pmTray"},
                                                                                           {miShow, "miShow"},
                                                                                           {N1, "N1"},
                                                                                           {miExit, "miExit"},
                                                                                           {btnInside, "btnInside"}})
            object->setObjectName(name);
        btnOK->setToolTip("Apply");
        btnMore->setMenu(btnMoreMenu);
        cbTypes->addItems({"Minutes", "Hours", "Days"});
        cbTypes->setItemData(2, 86400);
        cbTypes->setCurrentIndex(1);
        lvList->setHeaderLabels({"Partner", "$$$", "Status"});
        lvRates->setHorizontalHeaderLabels({"Code", "Rate"});
        // Separators keep their texts.
        N1->setProperty("tag", -100);
        N1->setText("-");
    }
};

class FormTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_translator.SetFormTranslation(&QtFormTranslation());
        m_translator.IgnoreComponentTag = -100;
        SetInterfaceTranslator(&m_translator);
    }
    void TearDown() override { SetInterfaceTranslator(nullptr); }

    void Activate(const std::string& text) {
        const std::string path = m_dir.file("interface.txt");
        WriteFileBytes(path, text);
        m_translator.SetFileName(path);
        m_translator.SetActive(true);
    }

    TempDir m_dir;
    TInterfaceTranslator m_translator;
};

const char* const kGerman = "[fmTest]\r\n"
                            "fmTest.Caption=Testformular\r\n"
                            "fmTest.btnOK.Caption=Save\r\n"
                            "fmTest.BTNOK.hint=Speichern und schließen\r\n"
                            "fmTest.cbTypes.Items=Minuten{CRLF}Stunden{CRLF}Tage{CRLF}\r\n"
                            "fmTest.pmTray.N1.Caption=Trenner\r\n"
                            "fmTest.miExit.Caption=Beenden\r\n"
                            "fmTest.pmTray.Caption=Menü\r\n"
                            "fmTest.lblInfo.Caption=Zeile 1{CRLF}Zeile 2\r\n"
                            "fmTest.edName.Text=Neu   \r\n"
                            "fmTest.edName.inputMask=9\r\n"
                            "fmTest.gbMain.styleSheet=color: white; background: white\r\n"
                            "fmTest.btnOK.statusTip=kein Text des Programms\r\n"
                            "fmTest.mmNotes.Lines=eins{CRLF}zwei{CRLF}\r\n"
                            "fmTest.lvList.Columns=Partner{CRLF}Betrag{CRLF}Zustand{CRLF}Zuviel\r\n"
                            "fmTest.lvRates.Columns=Kürzel\r\n"
                            "fmTest.tsGeneral.Caption=Allgemein\r\n"
                            "fmTest.gbMain.Caption=Haupt\r\n"
                            "fmTest.btnMore.Menu.Caption=Mehr\r\n"
                            "fmTest.Missing.Caption=not the form\r\n"
                            "fmTest.btnOK.NoSuchProperty=x\r\n"
                            "fmTest.btnOK.objectName=renamed\r\n"
                            "fmTest.btnInside.Caption=another form's\r\n"
                            "Other.fmTest.btnCancel.Caption=Abbrechen\r\n"
                            "\r\n"
                            "; the comment ends the section\r\n"
                            "fmTest.miShow.Caption=never\r\n";

} // namespace

TEST_F(FormTranslatorTest, AppliesTheFormsSectionToItsComponents) {
    TestForm t;
    Activate(kGerman); // translates the forms that exist

    EXPECT_EQ(t.form->windowTitle(), "Testformular");
    EXPECT_EQ(t.btnOK->text(), "Save");
    EXPECT_EQ(t.btnOK->toolTip(), "Speichern und schließen");
    EXPECT_EQ(t.btnOK->objectName(), "btnOK");
    // The interval units are replaced; the selection and the items' data stay.
    ASSERT_EQ(t.cbTypes->count(), 3);
    EXPECT_EQ(t.cbTypes->itemText(0), "Minuten");
    EXPECT_EQ(t.cbTypes->itemText(2), "Tage");
    EXPECT_EQ(t.cbTypes->currentIndex(), 1);
    EXPECT_EQ(t.cbTypes->itemData(2).toInt(), 86400);
    // The separator keeps its text, and the entries after it still apply.
    EXPECT_EQ(t.N1->text(), "-");
    EXPECT_EQ(t.miExit->text(), "Beenden");
    EXPECT_EQ(t.pmTray->title(), "Menü");
    EXPECT_EQ(t.lblInfo->text(), "Zeile 1\nZeile 2");
    EXPECT_EQ(t.edName->text(), "Neu"); // the trailing blanks are gone
    // A file changes texts only: properties outside the translatable ones keep their values, so no
    // translation can make a field impossible to type into or a box unreadable.
    EXPECT_TRUE(t.edName->inputMask().isEmpty());
    EXPECT_TRUE(t.gbMain->styleSheet().isEmpty());
    EXPECT_TRUE(t.btnOK->statusTip().isEmpty());
    EXPECT_EQ(t.mmNotes->toPlainText(), "eins\nzwei");
    EXPECT_EQ(t.lvList->headerItem()->text(0), "Partner");
    EXPECT_EQ(t.lvList->headerItem()->text(1), "Betrag");
    EXPECT_EQ(t.lvList->headerItem()->text(2), "Zustand");
    EXPECT_EQ(t.lvList->columnCount(), 3);
    EXPECT_EQ(t.lvRates->horizontalHeaderItem(0)->text(), "Kürzel");
    EXPECT_EQ(t.lvRates->horizontalHeaderItem(1)->text(), "Rate");
    EXPECT_EQ(t.pcMain->tabText(0), "Allgemein");
    EXPECT_EQ(t.gbMain->title(), "Haupt");
    EXPECT_EQ(t.btnMoreMenu->title(), "Mehr");
    EXPECT_EQ(t.btnInside->text(), "Inside");
    EXPECT_EQ(t.btnCancel->text(), "Abbrechen");
    EXPECT_EQ(t.miShow->text(), "Show");
}

TEST_F(FormTranslatorTest, FormsTranslateThemselvesWhenCreatedAndHandlersMayVeto) {
    Activate(kGerman);
    m_translator.OnAllowTranslate = [](TInterfaceTranslator&, QObject* component, bool& allow,
                                       const std::string& name) {
        allow = !(component->objectName() == "btnOK" && name == "hint");
    };
    m_translator.AddDisallowedMetaclass(&QMenu::staticMetaObject);
    TestForm t;
    TranslateForm(t.form.get());
    EXPECT_EQ(t.btnOK->text(), "Save");
    EXPECT_EQ(t.btnOK->toolTip(), "Apply");
    // Disallowed objects are not stepped into; a menu that is a component of its own still is.
    EXPECT_EQ(t.btnMoreMenu->title(), "More menu");
    EXPECT_EQ(t.pmTray->title(), "Menü");

    // An inactive translator leaves forms alone.
    m_translator.SetActive(false);
    TestForm untouched;
    TranslateForm(untouched.form.get());
    EXPECT_EQ(untouched.btnOK->text(), "OK");
}

TEST_F(FormTranslatorTest, NamelessFormsAreNamedAfterTheirClass) {
    Activate("[Dialog2]\nDialog2.Caption=Zweiter\nDialog2.btnGo.Caption=Los\n");
    QWidget owner;
    auto* first = new QDialog(&owner);
    first->setObjectName("dialog1");
    auto* dialog = new QDialog(&owner);
    auto* button = new QPushButton("Go", dialog);
    button->setObjectName("btnGo");
    TranslateForm(dialog);
    EXPECT_EQ(dialog->objectName(), "Dialog2");
    EXPECT_EQ(dialog->windowTitle(), "Zweiter");
    EXPECT_EQ(button->text(), "Los");
}

TEST_F(FormTranslatorTest, WrittenTextsTranslateAFormBack) {
    Activate("");
    m_translator.TranslationMode = TTranslationMode::tmWrite;
    {
        TestForm original;
        TranslateForm(original.form.get());
    }
    std::ostringstream written;
    m_translator.Store().SaveToStream(written);
    const std::string text = written.str();
    EXPECT_EQ(text.rfind("[fmTest]\r\nfmTest.Caption=Test\r\n", 0), 0u) << text;
    for (const char* line : {"\r\nfmTest.btnOK.Caption=OK\r\n", "\r\nfmTest.btnOK.Hint=Apply\r\n",
                             "\r\nfmTest.cbTypes.Items=Minutes{CRLF}Hours{CRLF}Days{CRLF}\r\n",
                             "\r\nfmTest.mmNotes.Lines=one{CRLF}two{CRLF}\r\n",
                             "\r\nfmTest.lvList.Columns=Partner{CRLF}$$${CRLF}Status{CRLF}\r\n",
                             "\r\nfmTest.tsGeneral.Caption=General\r\n", "\r\nfmTest.miExit.Caption=Exit\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_EQ(text.find("N1"), std::string::npos);
    // A menu item without a tip of its own has none to translate (Qt shows its caption instead).
    EXPECT_EQ(text.find("fmTest.miExit.Hint"), std::string::npos) << text;
    EXPECT_EQ(text.find("btnInside"), std::string::npos);
    EXPECT_EQ(text.find("qt_"), std::string::npos);

    // Read back, the file gives a changed form its texts again.
    Activate("");
    m_translator.SetActive(false);
    WriteFileBytes(m_translator.FileName(), text);
    m_translator.TranslationMode = TTranslationMode::tmTranslate;
    TestForm changed;
    changed.btnOK->setText("x");
    changed.cbTypes->setItemText(0, "x");
    changed.lvList->headerItem()->setText(1, "x");
    changed.pcMain->setTabText(0, "x");
    m_translator.SetActive(true);
    EXPECT_EQ(changed.btnOK->text(), "OK");
    EXPECT_EQ(changed.cbTypes->itemText(0), "Minutes");
    EXPECT_EQ(changed.lvList->headerItem()->text(1), "$$$");
    EXPECT_EQ(changed.pcMain->tabText(0), "General");
}

TEST(FormTranslatorLines, ListValuesSplitAtEveryLineBreak) {
    EXPECT_EQ(SplitValueLines("a\r\nb\rc\nd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitValueLines("a\r\n"), QStringList{"a"});
    EXPECT_EQ(SplitValueLines("a\r\n\r\n"), (QStringList{"a", ""}));
    EXPECT_TRUE(SplitValueLines("").isEmpty());
}
