#pragma once

#include "translate/InterfaceStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

class QObject;
struct QMetaObject;
class TInterfaceTranslator;

// tmWrite collects the texts of the forms into the store; the program itself only translates.
enum class TTranslationMode { tmWrite = 0, tmTranslate = 1 };

// Raised when the translator is switched on without a file to read.
class ETranslatorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How forms are listed and how one form takes its texts from (or gives them to) the store. Forms
// are widgets, so the widget library supplies the implementation (translate/ui/FormTranslator.h);
// without one the translator serves messages and values only.
class IFormTranslation {
public:
    virtual ~IFormTranslation() = default;
    virtual std::vector<QObject*> ExistingForms() = 0;
    // Translate mode: applies the form's section of the store to the form. Write mode: writes the
    // form's texts into the store.
    virtual void ApplyToForm(TInterfaceTranslator& translator, QObject* form) = 0;
};

// Replaces the texts of forms and the numbered messages by those of a translation file. Lives on
// the user-interface thread: worker threads reach LoadStr through the global LoadStr of
// app/Messages.h, which hands the call over to that thread.
class TInterfaceTranslator {
public:
    // (translator, component, allow, property name): a handler may veto one property's change.
    using TAllowTranslateEvent = std::function<void(TInterfaceTranslator&, QObject*, bool&, const std::string&)>;

    TInterfaceTranslator();
    ~TInterfaceTranslator();
    TInterfaceTranslator(const TInterfaceTranslator&) = delete;
    TInterfaceTranslator& operator=(const TInterfaceTranslator&) = delete;

    const std::string& FileName() const { return m_fileName; }
    void SetFileName(const std::string& fileName);
    bool Active() const { return m_active; }
    // Switching on reads the file and translates every existing form; it throws ETranslatorError
    // when no file name is set.
    void SetActive(bool active);

    TTranslationMode TranslationMode = TTranslationMode::tmTranslate;
    // Components whose "tag" property equals this keep their texts; 0 means none are kept.
    int IgnoreComponentTag = 0;
    std::string CustomSectionName = "CUSTOM";
    TAllowTranslateEvent OnAllowTranslate;

    // The text of a numbered message: the custom section's entry whose second key part is the
    // number, else the built-in text.
    std::string LoadStr(unsigned id);
    // The value of the entry of a section whose joined key equals key exactly; empty if none.
    std::string GetValue(const std::string& section, const std::string& key);
    // Names the form if it has no name, then applies the file to it; nothing unless active.
    void Translate(QObject* form);
    // The custom section's entry for the text's hash, else the text itself.
    std::string Translate(const std::string& text);
    // CRC-32 of the text's bytes as an unsigned decimal of at least 8 digits; "BAD_STR_HASH" when empty.
    static std::string GetHash(const std::string& text);

    // Classes whose objects are never stepped into by an entry (the program adds the font class).
    void AddDisallowedMetaclass(const QMetaObject* metaclass);
    bool IsDisallowedClass(const QMetaObject* metaclass) const;
    int GetDisallowedCount() const { return static_cast<int>(m_disallowed.size()); }
    const QMetaObject* GetDisallowedMetaclass(int index) const;

    void DoTranslateForms();
    // Empties the store and reads FileName into it; a file that cannot be read, or one larger than
    // kMaxFileBytes, leaves it empty. Then indexes the custom section for LoadStr and Translate.
    void LoadInterface();
    // Translations are a few kilobytes; a file past this is not one, and reading it would hold up
    // the start and every lookup.
    static constexpr std::uint64_t kMaxFileBytes = 4 * 1024 * 1024;
    // The size of the file the last LoadInterface refused as too large, else 0.
    std::uint64_t RefusedFileSize() const { return m_refusedSize; }

    // Property changes between BeginLoading and Loaded are only recorded; Loaded applies them.
    void BeginLoading() { m_loading = true; }
    void Loaded();
    // Rereads and reapplies the file by switching Active off and back on.
    void DoWork();

    IInterfaceStore& Store() { return *m_store; }
    // The widget library's form handling; the caller keeps it alive while it is set.
    void SetFormTranslation(IFormTranslation* forms) { m_forms = forms; }
    IFormTranslation* FormTranslation() const { return m_forms; }

private:
    // Reads the rest of the current store entry: its key parts and the value of its last part.
    bool ReadEntry(std::vector<std::string>& parts, std::string& value);
    // The value of the first custom-section entry whose second key part equals part, or false.
    bool FindCustomEntry(const std::string& part, std::string& value);
    // Walks the custom section once and notes each second key part's first value.
    void IndexCustomSection();
    void ActiveChanged();

    std::unique_ptr<IInterfaceStore> m_store;
    std::vector<const QMetaObject*> m_disallowed;
    IFormTranslation* m_forms = nullptr;
    std::string m_fileName;
    bool m_active = false;
    bool m_loading = false;
    std::uint64_t m_refusedSize = 0;
    // The custom section's entries by their second key part, built when the file is read: messages
    // are asked for from every thread's log lines and must not cost a walk of the file each.
    std::unordered_map<std::string, std::string> m_customIndex;
    std::string m_indexedSection; // the section the index was built from
    // Sections GetValue has read, by name in lower case, each by joined key.
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> m_sectionValues;
};

// Gives a nameless form that has an owner a name of its own: its class name without the first
// letter followed by the first number from 1 up that no other child of the owner holds.
void AssignComponentName(QObject* form);

// The program's translator: the one the main form installed, or an inactive stand-in. Use on the
// user-interface thread.
TInterfaceTranslator& InterfaceTranslator();
// Installs a translator (null goes back to the stand-in); the caller keeps ownership. A translator
// uninstalls itself when it is destroyed.
void SetInterfaceTranslator(TInterfaceTranslator* translator);
// Whether an installed translator is active; safe from any thread.
bool InterfaceTranslatorActive();
