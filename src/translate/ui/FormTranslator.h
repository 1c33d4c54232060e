#pragma once

#include "translate/InterfaceTranslator.h"

#include <QStringList>

#include <string>
#include <utility>
#include <vector>

class QObject;
class QWidget;

// Form translation on Qt widgets. A form is a window (not a popup menu); the components of a form
// are the objects it holds, at any depth but not inside another form, found by objectName with
// letter case ignored. The property names of the translation file ("Caption", "Hint", "Text",
// "Items", "Lines", "Columns", ...) map onto each control kind's Qt properties through a table.
class TFormTranslator final : public IFormTranslation {
public:
    std::vector<QObject*> ExistingForms() override;
    void ApplyToForm(TInterfaceTranslator& translator, QObject* form) override;
};

// The widget library's form handling; one instance serves every translator.
TFormTranslator& QtFormTranslation();

// Every form calls this on itself right after it is constructed: translates it through the
// program's translator (InterfaceTranslator()), which gets the widget form handling if it has none.
void TranslateForm(QWidget* form);

// Whether the widget is a form of its own: a window that is not a popup.
bool IsForm(const QObject* object);

// The component called name among those that owner holds (breadth first), or null.
QObject* FindOwnedComponent(QObject* owner, const QString& name);

// Translatable texts of a form as key and value, in the order the file lists them: the form's own
// properties, then each named component's. Empty texts and components with the ignored tag are
// left out; list properties hold one line per item, each ending in a line break.
std::vector<std::pair<std::string, std::string>> FormTexts(const TInterfaceTranslator& translator, QObject* form);

// Writes the form's texts as its section of the translator's store (replacing an older one).
void WriteFormTexts(TInterfaceTranslator& translator, QObject* form);

// The items of a list value: split at CR LF, CR or LF; a line break at the end adds no empty item.
QStringList SplitValueLines(const QString& value);
