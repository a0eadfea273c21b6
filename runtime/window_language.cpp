#include "window_language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

#include <utility>

namespace quillon {

namespace {

// Where qt_add_translations puts the compiled translations among the program's resources.
const QString kTranslationsFolder = QStringLiteral(":/i18n");
const QString kFileSuffix = QStringLiteral(".qm");

using TranslationFileList = QList<std::pair<QLocale::Language, QString>>;

// The catalogue's embedded translation files by the language they are in.
TranslationFileList TranslationFiles(const TextCatalogue& catalogue) {
    const QString prefix = catalogue.name + u'_';
    TranslationFileList files;
    for (const QString& file :
         QDir(kTranslationsFolder).entryList({prefix + u'*' + kFileSuffix}, QDir::Files)) {
        const QString code = file.mid(prefix.size()).chopped(kFileSuffix.size());
        if (const auto language = LanguageNamed(code))
            files.append({*language, kTranslationsFolder + u'/' + file});
    }
    return files;
}

// QLocale::system().uiLanguages() says "C" under C, C.UTF-8 and POSIX.
bool NamesNoLanguage(const QString& uiLanguage) {
    const QString name = uiLanguage.section(u'.', 0, 0);
    return name == u"C" || name == u"POSIX";
}

} // namespace

QList<QLocale::Language> AvailableLanguages(const TextCatalogue& catalogue) {
    QList<QLocale::Language> languages{catalogue.sourceLanguage};
    for (const auto& [language, file] : TranslationFiles(catalogue)) {
        if (!languages.contains(language))
            languages.append(language);
    }
    return languages;
}

std::optional<QLocale::Language> LanguageNamed(const QString& code) {
    const QLocale::Language language = QLocale(code).language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return std::nullopt;
    return language;
}

QString LanguageCode(QLocale::Language language) {
    return QLocale::languageToCode(language);
}

QLocale::Language ChooseLanguage(const TextCatalogue& catalogue, const QStringList& uiLanguages) {
    const QList<QLocale::Language> available = AvailableLanguages(catalogue);
    for (const QString& uiLanguage : uiLanguages) {
        if (NamesNoLanguage(uiLanguage))
            return QLocale::Chinese;
        const auto language = LanguageNamed(uiLanguage);
        if (language && available.contains(*language))
            return *language;
    }
    return QLocale::English;
}

QLocale::Language SystemLanguage(const TextCatalogue& catalogue) {
    return ChooseLanguage(catalogue, QLocale::system().uiLanguages());
}

UiTranslation::UiTranslation(const TextCatalogue& catalogue, QLocale::Language language)
    : m_language(language == QLocale::AnyLanguage ? SystemLanguage(catalogue) : language),
      m_writtenInLanguage(m_language == catalogue.sourceLanguage) {
    if (!m_writtenInLanguage) {
        for (const auto& [fileLanguage, file] : TranslationFiles(catalogue)) {
            if (fileLanguage == m_language && m_texts.load(file)) {
                m_hasTexts = QCoreApplication::installTranslator(&m_texts);
                break;
            }
        }
    }
    // Qt's own texts (a text box's menu, the system's error words) are translated along with the
    // catalogue's, from Qt's translations where they are installed; texts shown as written stay
    // exactly as they were, Qt's included.
    if (m_hasTexts && m_language != QLocale::English &&
        m_qtTexts.load(QLocale(m_language), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        m_hasQtTexts = QCoreApplication::installTranslator(&m_qtTexts);
}

UiTranslation::~UiTranslation() {
    if (m_hasQtTexts)
        QCoreApplication::removeTranslator(&m_qtTexts);
    if (m_hasTexts)
        QCoreApplication::removeTranslator(&m_texts);
}

} // namespace quillon
