#include "translate/ui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator>& Installed() {
    static std::unique_ptr<QTranslator> installed;
    return installed;
}

} // namespace

bool InstallQtTranslation(const std::string& language) {
    auto& installed = Installed();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    const QLocale locale(QString::fromStdString(language));
    if (language.empty() || locale.language() == QLocale::C || locale.language() == QLocale::English)
        return false;
    // "qt" is the catalogue that gathers Qt's modules (qtbase and the rest) for a language.
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"), folder) &&
        !translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
        return false;
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    installed = std::move(translator);
    return true;
}
