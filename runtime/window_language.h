#pragma once

// The language a program's windows speak: the one asked for on the command line, else the one
// the system's locale names, shown through the translations the program carries as resources
// (":/i18n/<catalogue>_<language>.qm", made from translations/*.ts at build time).

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>

#include <optional>

namespace quillon {

// A program's own texts: the name their translation files start with, and the language the
// code writes them in.
struct TextCatalogue {
    QString name;
    QLocale::Language sourceLanguage;
};

// The source language first, then the language of each translation embedded in the program.
QList<QLocale::Language> AvailableLanguages(const TextCatalogue& catalogue);

// The language a code such as "en", "zh" or "zh_CN" names; nullopt when QLocale knows none.
std::optional<QLocale::Language> LanguageNamed(const QString& code);
// The two-letter code of a language: "en", "zh".
QString LanguageCode(QLocale::Language language);

// Chinese under C and POSIX (no language chosen); otherwise the first of `uiLanguages` (best
// first, as QLocale::uiLanguages() lists them) that the catalogue has; English when it has none.
QLocale::Language ChooseLanguage(const TextCatalogue& catalogue, const QStringList& uiLanguages);
// ChooseLanguage() for the system's locale.
QLocale::Language SystemLanguage(const TextCatalogue& catalogue);

// While it lives, the application's texts are shown in `language` (AnyLanguage: the system's
// choice): through the catalogue's translation unless the code writes them in that language,
// and with it Qt's own texts through Qt's translation where the system has it installed. Make
// it once the application object exists.
class UiTranslation {
public:
    UiTranslation(const TextCatalogue& catalogue, QLocale::Language language);
    ~UiTranslation();
    UiTranslation(const UiTranslation&) = delete;
    UiTranslation& operator=(const UiTranslation&) = delete;

    QLocale::Language language() const { return m_language; }
    // False when the catalogue has no translation into the language: its texts stay as written.
    bool hasTexts() const { return m_writtenInLanguage || m_hasTexts; }

private:
    QLocale::Language m_language;
    bool m_writtenInLanguage;
    QTranslator m_texts;
    QTranslator m_qtTexts;
    bool m_hasTexts = false;
    bool m_hasQtTexts = false;
};

} // namespace quillon
