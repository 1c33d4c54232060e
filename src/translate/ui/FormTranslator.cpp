#include "translate/ui/FormTranslator.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include <deque>
#include <set>

namespace {

// An action's tip when it was given one: without, Qt answers with the caption, which is no text
// of its own to translate.
QString ActionOwnToolTip(const QAction* action) {
    QAction plain;
    plain.setText(action->text());
    const QString tip = action->toolTip();
    return tip == plain.toolTip() ? QString() : tip;
}

// One translatable property of a control kind: a text, or a list of texts (one item per line).
struct TPropertyBinding {
    const char* name;
    QString (*getText)(QObject*) = nullptr;
    void (*setText)(QObject*, const QString&) = nullptr;
    QStringList (*getList)(QObject*) = nullptr;
    void (*setList)(QObject*, const QStringList&) = nullptr;
};

// An object reached through a property of a control ("btnMore.Menu.Caption").
struct TObjectBinding {
    const char* name;
    QObject* (*get)(QObject*);
};

// The properties of one control kind. Kinds are tried in table order; the first binding of a
// matching kind with the property's name wins.
struct TControlKind {
    bool (*matches)(QObject*);
    std::vector<TPropertyBinding> properties;
    std::vector<TObjectBinding> objects;
};

template <typename T>
bool Is(QObject* object) {
    return qobject_cast<T*>(object) != nullptr;
}

template <typename T>
T* As(QObject* object) {
    return static_cast<T*>(object);
}

// A page of a tab widget: its caption and hint are the tab's.
QTabWidget* TabWidgetOfPage(QObject* object) {
    auto* page = qobject_cast<QWidget*>(object);
    if (page == nullptr || page->parentWidget() == nullptr || !Is<QStackedWidget>(page->parentWidget()))
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget());
    return tabs != nullptr && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

QStringList ComboItems(QObject* object) {
    auto* combo = As<QComboBox>(object);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// Replaces the item texts; the items' data and the selection stay when the count is the same.
void SetComboItems(QObject* object, const QStringList& items) {
    auto* combo = As<QComboBox>(object);
    if (combo->count() == items.size()) {
        for (int i = 0; i < items.size(); ++i)
            combo->setItemText(i, items[i]);
        return;
    }
    const int index = combo->currentIndex();
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(index < items.size() ? index : -1);
}

QStringList ListWidgetItems(QObject* object) {
    auto* list = As<QListWidget>(object);
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

void SetListWidgetItems(QObject* object, const QStringList& items) {
    auto* list = As<QListWidget>(object);
    if (list->count() == items.size()) {
        for (int i = 0; i < items.size(); ++i)
            list->item(i)->setText(items[i]);
        return;
    }
    list->clear();
    list->addItems(items);
}

QStringList TreeColumns(QObject* object) {
    auto* tree = As<QTreeWidget>(object);
    QStringList columns;
    if (const QTreeWidgetItem* header = tree->headerItem())
        for (int i = 0; i < header->columnCount(); ++i)
            columns << header->text(i);
    return columns;
}

// Column captions replace those of the existing columns; further lines add none.
void SetTreeColumns(QObject* object, const QStringList& columns) {
    auto* tree = As<QTreeWidget>(object);
    QTreeWidgetItem* header = tree->headerItem();
    if (header == nullptr)
        return;
    for (int i = 0; i < header->columnCount() && i < columns.size(); ++i)
        header->setText(i, columns[i]);
}

QStringList TableColumns(QObject* object) {
    auto* table = As<QTableWidget>(object);
    QStringList columns;
    for (int i = 0; i < table->columnCount(); ++i) {
        const QTableWidgetItem* item = table->horizontalHeaderItem(i);
        columns << (item != nullptr ? item->text() : QString());
    }
    return columns;
}

void SetTableColumns(QObject* object, const QStringList& columns) {
    auto* table = As<QTableWidget>(object);
    for (int i = 0; i < table->columnCount() && i < columns.size(); ++i) {
        if (QTableWidgetItem* item = table->horizontalHeaderItem(i))
            item->setText(columns[i]);
        else
            table->setHorizontalHeaderItem(i, new QTableWidgetItem(columns[i])); // the table owns it
    }
}

const std::vector<TControlKind>& ControlKinds() {
    static const std::vector<TControlKind> kinds = {
        {[](QObject* o) { return TabWidgetOfPage(o) != nullptr; },
         {{"Caption",
           [](QObject* o) { return TabWidgetOfPage(o)->tabText(TabWidgetOfPage(o)->indexOf(As<QWidget>(o))); },
           [](QObject* o, const QString& v) {
               TabWidgetOfPage(o)->setTabText(TabWidgetOfPage(o)->indexOf(As<QWidget>(o)), v);
           }},
          {"Hint",
           [](QObject* o) { return TabWidgetOfPage(o)->tabToolTip(TabWidgetOfPage(o)->indexOf(As<QWidget>(o))); },
           [](QObject* o, const QString& v) {
               TabWidgetOfPage(o)->setTabToolTip(TabWidgetOfPage(o)->indexOf(As<QWidget>(o)), v);
           }}},
         {}},
        {Is<QMenu>,
         {{"Caption", [](QObject* o) { return As<QMenu>(o)->title(); },
           [](QObject* o, const QString& v) { As<QMenu>(o)->setTitle(v); }}},
         {}},
        {[](QObject* o) { return IsForm(o); },
         {{"Caption", [](QObject* o) { return As<QWidget>(o)->windowTitle(); },
           [](QObject* o, const QString& v) { As<QWidget>(o)->setWindowTitle(v); }}},
         {}},
        {Is<QAction>,
         {{"Caption", [](QObject* o) { return As<QAction>(o)->text(); },
           [](QObject* o, const QString& v) { As<QAction>(o)->setText(v); }},
          {"Hint", [](QObject* o) { return ActionOwnToolTip(As<QAction>(o)); },
           [](QObject* o, const QString& v) { As<QAction>(o)->setToolTip(v); }}},
         {{"Menu", [](QObject* o) -> QObject* { return As<QAction>(o)->menu<QMenu*>(); }}}},
        {Is<QPushButton>, {}, {{"Menu", [](QObject* o) -> QObject* { return As<QPushButton>(o)->menu(); }}}},
        {Is<QToolButton>, {}, {{"Menu", [](QObject* o) -> QObject* { return As<QToolButton>(o)->menu(); }}}},
        {Is<QAbstractButton>,
         {{"Caption", [](QObject* o) { return As<QAbstractButton>(o)->text(); },
           [](QObject* o, const QString& v) { As<QAbstractButton>(o)->setText(v); }}},
         {}},
        {Is<QLabel>,
         {{"Caption", [](QObject* o) { return As<QLabel>(o)->text(); },
           [](QObject* o, const QString& v) { As<QLabel>(o)->setText(v); }}},
         {}},
        {Is<QGroupBox>,
         {{"Caption", [](QObject* o) { return As<QGroupBox>(o)->title(); },
           [](QObject* o, const QString& v) { As<QGroupBox>(o)->setTitle(v); }}},
         {}},
        {Is<QLineEdit>,
         {{"Text", [](QObject* o) { return As<QLineEdit>(o)->text(); },
           [](QObject* o, const QString& v) { As<QLineEdit>(o)->setText(v); }},
          {"TextHint", [](QObject* o) { return As<QLineEdit>(o)->placeholderText(); },
           [](QObject* o, const QString& v) { As<QLineEdit>(o)->setPlaceholderText(v); }}},
         {}},
        {Is<QComboBox>,
         {{"Items", nullptr, nullptr, ComboItems, SetComboItems},
          // Only an editable combo box has a text of its own; otherwise the text is the selected item.
          {"Text",
           [](QObject* o) { return As<QComboBox>(o)->isEditable() ? As<QComboBox>(o)->currentText() : QString(); },
           [](QObject* o, const QString& v) {
               if (As<QComboBox>(o)->isEditable())
                   As<QComboBox>(o)->setEditText(v);
           }}},
         {}},
        {Is<QListWidget>, {{"Items", nullptr, nullptr, ListWidgetItems, SetListWidgetItems}}, {}},
        {Is<QPlainTextEdit>,
         {{"Lines", nullptr, nullptr, [](QObject* o) { return SplitValueLines(As<QPlainTextEdit>(o)->toPlainText()); },
           [](QObject* o, const QStringList& v) { As<QPlainTextEdit>(o)->setPlainText(v.join(QLatin1Char('\n'))); }}},
         {}},
        {Is<QTextEdit>,
         {{"Lines", nullptr, nullptr, [](QObject* o) { return SplitValueLines(As<QTextEdit>(o)->toPlainText()); },
           [](QObject* o, const QStringList& v) { As<QTextEdit>(o)->setPlainText(v.join(QLatin1Char('\n'))); }}},
         {}},
        {Is<QTreeWidget>, {{"Columns", nullptr, nullptr, TreeColumns, SetTreeColumns}}, {}},
        {Is<QTableWidget>, {{"Columns", nullptr, nullptr, TableColumns, SetTableColumns}}, {}},
        {Is<QWidget>,
         {{"Hint", [](QObject* o) { return As<QWidget>(o)->toolTip(); },
           [](QObject* o, const QString& v) { As<QWidget>(o)->setToolTip(v); }}},
         {}},
    };
    return kinds;
}

bool SameName(const QString& a, const char* b) {
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

const TPropertyBinding* FindBinding(QObject* object, const QString& name) {
    for (const auto& kind : ControlKinds())
        if (kind.matches(object))
            for (const auto& binding : kind.properties)
                if (SameName(name, binding.name))
                    return &binding;
    return nullptr;
}

// Qt properties that hold no text to translate, though they are strings.
bool IsExcludedProperty(const char* name) {
    return qstrcmp(name, "objectName") == 0 || qstrcmp(name, "styleSheet") == 0;
}

// A Qt property of the object with that name (letter case ignored), or an invalid one.
QMetaProperty FindQtProperty(QObject* object, const QString& name) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (SameName(name, property.name()) && !IsExcludedProperty(property.name()))
            return property;
    }
    return {};
}

// Values come with CR LF line breaks; Qt texts break lines with LF.
QString ToQtText(const std::string& value) {
    QString text = QString::fromStdString(value);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Sets a text or (with allowList) a list property of the control kind's table; false when the
// object has no such property. Only the table's texts are ever set: any other property a file
// names (an input mask, a style, a validator's pattern) would change how the program works, not
// what it says, and is ignored.
bool SetTextProperty(QObject* object, const QString& name, const std::string& value, bool allowList) {
    const TPropertyBinding* binding = FindBinding(object, name);
    if (binding == nullptr)
        return false;
    if (binding->setText != nullptr)
        binding->setText(object, ToQtText(value));
    else if (allowList && binding->setList != nullptr)
        binding->setList(object, SplitValueLines(QString::fromStdString(value)));
    else
        return false;
    return true;
}

bool IsIgnored(const TInterfaceTranslator& translator, QObject* component) {
    return translator.IgnoreComponentTag != 0 && component->property("tag").toInt() == translator.IgnoreComponentTag;
}

void SetComponentProperty(TInterfaceTranslator& translator, QObject* component, const std::string& name,
                          const std::string& value) {
    if (IsIgnored(translator, component))
        return;
    if (translator.OnAllowTranslate) {
        bool allow = true;
        translator.OnAllowTranslate(translator, component, allow, name);
        if (!allow)
            return;
    }
    SetTextProperty(component, QString::fromStdString(name), value, true);
}

// The object a property of the component holds: from the control kind's table, else a Qt
// property that holds an object.
QObject* PropertyObject(QObject* component, const QString& name) {
    for (const auto& kind : ControlKinds())
        if (kind.matches(component))
            for (const auto& binding : kind.objects)
                if (SameName(name, binding.name))
                    return binding.get(component);
    const QMetaProperty property = FindQtProperty(component, name);
    if (property.isValid() && property.metaType().flags().testFlag(QMetaType::PointerToQObject))
        return property.read(component).value<QObject*>();
    return nullptr;
}

// The rest of the entry names a text property of an object that a property of component holds.
void ApplyObjectProperty(TInterfaceTranslator& translator, QObject* component, const QString& propertyName) {
    QObject* object = PropertyObject(component, propertyName);
    if (object == nullptr || translator.IsDisallowedClass(object->metaObject()))
        return;
    TKeyPart part;
    if (!translator.Store().ReadKeyPart(part) || !part.IsLast)
        return;
    SetTextProperty(object, QString::fromStdString(part.Part), part.Value, false);
}

void ApplyEntry(TInterfaceTranslator& translator, QObject* form) {
    IInterfaceStore& store = translator.Store();
    QObject* current = form;
    bool matched = false;
    TKeyPart part;
    while (store.ReadKeyPart(part)) {
        if (part.IsLast) {
            SetComponentProperty(translator, current, part.Part, part.Value);
            return;
        }
        const QString name = QString::fromStdString(part.Part);
        if (QObject* component = FindOwnedComponent(current, name)) {
            current = component;
            matched = true;
            continue;
        }
        // Leading parts before the first match that are not the form's name are passed over.
        if (!matched && name.compare(form->objectName(), Qt::CaseInsensitive) != 0)
            continue;
        if (name.compare(current->objectName(), Qt::CaseInsensitive) == 0) {
            matched = true;
            continue;
        }
        ApplyObjectProperty(translator, current, name);
        return;
    }
}

// Components worth listing: named by the program, not Qt's own helpers.
bool IsNamedComponent(const QObject* object) {
    const QString name = object->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

QString ListText(const QStringList& items) {
    QString text;
    for (const QString& item : items)
        text += item + QLatin1String("\r\n");
    return text;
}

// The texts of one component, property by property in table order.
std::vector<std::pair<std::string, std::string>> ComponentTexts(QObject* component) {
    std::vector<std::pair<std::string, std::string>> texts;
    std::set<QString> seen;
    for (const auto& kind : ControlKinds()) {
        if (!kind.matches(component))
            continue;
        for (const auto& binding : kind.properties) {
            const QString name = QLatin1String(binding.name);
            if (!seen.insert(name.toLower()).second)
                continue;
            QString value;
            if (binding.getText != nullptr)
                value = binding.getText(component);
            else if (binding.getList != nullptr)
                value = ListText(binding.getList(component));
            if (!value.isEmpty())
                texts.emplace_back(binding.name, value.toStdString());
        }
    }
    return texts;
}

// Every component a form holds, breadth first, without descending into other forms.
std::vector<QObject*> OwnedComponents(QObject* owner) {
    std::vector<QObject*> found;
    std::deque<QObject*> pending(owner->children().begin(), owner->children().end());
    while (!pending.empty()) {
        QObject* object = pending.front();
        pending.pop_front();
        if (IsForm(object))
            continue;
        found.push_back(object);
        pending.insert(pending.end(), object->children().begin(), object->children().end());
    }
    return found;
}

} // namespace

bool IsForm(const QObject* object) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (widget == nullptr || !widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    return type != Qt::Popup && type != Qt::ToolTip;
}

QObject* FindOwnedComponent(QObject* owner, const QString& name) {
    if (name.isEmpty())
        return nullptr;
    for (QObject* component : OwnedComponents(owner))
        if (component->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return component;
    return nullptr;
}

QStringList SplitValueLines(const QString& value) {
    QString text = value;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty())
        return {};
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

std::vector<QObject*> TFormTranslator::ExistingForms() {
    std::vector<QObject*> forms;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (IsForm(widget))
            forms.push_back(widget);
    return forms;
}

void TFormTranslator::ApplyToForm(TInterfaceTranslator& translator, QObject* form) {
    if (form == nullptr || form->objectName().isEmpty())
        return;
    if (translator.TranslationMode == TTranslationMode::tmWrite) {
        WriteFormTexts(translator, form);
        return;
    }
    IInterfaceStore& store = translator.Store();
    if (!store.FindSection(form->objectName().toStdString()))
        return;
    while (store.NextEntry())
        ApplyEntry(translator, form);
}

TFormTranslator& QtFormTranslation() {
    static TFormTranslator forms;
    return forms;
}

void TranslateForm(QWidget* form) {
    TInterfaceTranslator& translator = InterfaceTranslator();
    if (translator.FormTranslation() == nullptr)
        translator.SetFormTranslation(&QtFormTranslation());
    translator.Translate(form);
}

std::vector<std::pair<std::string, std::string>> FormTexts(const TInterfaceTranslator& translator, QObject* form) {
    std::vector<std::pair<std::string, std::string>> texts;
    const std::string formName = form->objectName().toStdString();
    for (auto& [property, value] : ComponentTexts(form))
        texts.emplace_back(formName + "." + property, std::move(value));
    for (QObject* component : OwnedComponents(form)) {
        if (!IsNamedComponent(component) || IsIgnored(translator, component))
            continue;
        const std::string prefix = formName + "." + component->objectName().toStdString() + ".";
        for (auto& [property, value] : ComponentTexts(component))
            texts.emplace_back(prefix + property, std::move(value));
    }
    return texts;
}

void WriteFormTexts(TInterfaceTranslator& translator, QObject* form) {
    IInterfaceStore& store = translator.Store();
    store.ClearPath();
    store.BeginSection(form->objectName().toStdString());
    for (const auto& [key, value] : FormTexts(translator, form))
        store.WriteValue(key, value);
}
