#include "translate/ui/FormTranslator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

// Applies fuzzed translation files to a form holding a control of every kind the translator knows
// (on the offscreen platform), then reads the form's texts back and writes them as a section, as the
// translator's write mode does. The file starts in the form's own section, so its entries reach the
// controls; whatever they name, nothing may crash or hang.

namespace {

struct TFuzzForm {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QTabWidget* pcMain = new QTabWidget(form.get());
    QWidget* tsGeneral = new QWidget;
    QGroupBox* gbMain = new QGroupBox("Main", tsGeneral);
    QPushButton* btnMore = new QPushButton("More", gbMain);
    QMenu* btnMoreMenu = new QMenu("More menu", btnMore);
    QComboBox* cbTypes = new QComboBox(gbMain);
    QLabel* lblInfo = new QLabel("Info", gbMain);
    QLineEdit* edInput = new QLineEdit(gbMain);
    QCheckBox* cbActive = new QCheckBox("Active", gbMain);
    QSpinBox* sePeriod = new QSpinBox(gbMain);
    QPlainTextEdit* mmNotes = new QPlainTextEdit("one\ntwo", form.get());
    QListWidget* lbItems = new QListWidget(form.get());
    QTreeWidget* lvList = new QTreeWidget(form.get());
    QTableWidget* lvRates = new QTableWidget(2, 2, form.get());
    QMenu* pmTray = new QMenu("Tray", form.get());
    QAction* miShow = pmTray->addAction("Show");
    QAction* miExit = pmTray->addAction("Exit");
    QDialog* dlgChild = new QDialog(form.get());
    QPushButton* btnInside = new QPushButton("Inside", dlgChild);

    TFuzzForm() {
        form->setObjectName("fmFuzz");
        form->setWindowTitle("Fuzz");
        pcMain->addTab(tsGeneral, "General");
        for (auto [object, name] : std::initializer_list<std::pair<QObject*, const char*>>{{pcMain, "pcMain"},
                                                                                           {tsGeneral, "tsGeneral"},
                                                                                           {gbMain, "gbMain"},
                                                                                           {btnMore, "btnMore"},
                                                                                           {cbTypes, "cbTypes"},
                                                                                           {lblInfo, "lblInfo"},
                                                                                           {edInput, "edInput"},
                                                                                           {cbActive, "cbActive"},
                                                                                           {sePeriod, "sePeriod"},
                                                                                           {mmNotes, "mmNotes"},
                                                                                           {lbItems, "lbItems"},
                                                                                           {lvList, "lvList"},
                                                                                           {lvRates, "lvRates"},
                                                                                           {pmTray, "pmTray"},
                                                                                           {miShow, "miShow"},
                                                                                           {miExit, "miExit"},
                                                                                           {dlgChild, "dlgChild"},
                                                                                           {btnInside, "btnInside"}})
            object->setObjectName(name);
        edInput->setEchoMode(QLineEdit::Password);
        btnMore->setMenu(btnMoreMenu);
        cbTypes->addItems({"Minutes", "Hours", "Days"});
        lbItems->addItems({"first", "second"});
        lvList->setHeaderLabels({"Partner", "$$$", "Status"});
        lvRates->setHorizontalHeaderLabels({"Code", "Rate"});
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input("[fmFuzz]\r\n" + std::string(reinterpret_cast<const char*>(data), size));
    TInterfaceTranslator translator;
    translator.SetFormTranslation(&QtFormTranslation());
    translator.Store().LoadFromStream(input);

    TFuzzForm form;
    QtFormTranslation().ApplyToForm(translator, form.form.get());
    QtFormTranslation().ApplyToForm(translator, form.dlgChild);
    QCoreApplication::processEvents();

    translator.TranslationMode = TTranslationMode::tmWrite;
    for (const auto& [key, value] : FormTexts(translator, form.form.get())) {
        if (key.rfind("fmFuzz", 0) != 0)
            __builtin_trap();
    }
    WriteFormTexts(translator, form.form.get());
    std::ostringstream saved;
    translator.Store().SaveToStream(saved);
    return 0;
}
