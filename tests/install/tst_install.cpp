#include "xvfb_session.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using quillon::testing::kSingleChannelSendOnScreen;
using quillon::testing::StopProcess;
using quillon::testing::XvfbSession;

namespace {

constexpr int kStartTimeoutMs = 30000;
// A first GUI start on a loaded machine may also build the font caches.
constexpr int kWindowTimeoutMs = 90000;
constexpr int kToolTimeoutMs = 240000;

struct ToolRun {
    bool ok = false;
    QByteArray output; // standard output and error together
};

ToolRun Run(const QString& program, const QStringList& arguments,
            const QString& workingDirectory = {}) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForFinished(kToolTimeoutMs)) {
        StopProcess(process);
        return {false, process.errorString().toLocal8Bit()};
    }
    return {process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            process.readAll()};
}

// What a program prints when the system cannot give it a library, a Qt plugin or a font.
const QRegularExpression kMissingPieceWarning(
    QStringLiteral("cannot open shared object|error while loading shared libraries|"
                   "symbol lookup error|not found \\(required by|cannot load library|"
                   "platform plugin|qt\\.qpa\\.plugin|font"),
    QRegularExpression::CaseInsensitiveOption);

QStringList MissingPieceWarnings(const QByteArray& standardError) {
    QStringList warnings;
    for (const QString& line : QString::fromLocal8Bit(standardError).split(QLatin1Char('\n'))) {
        if (line.contains(kMissingPieceWarning))
            warnings << line;
    }
    return warnings;
}

} // namespace

class tst_Install : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void installsItsFiles_data();
    void installsItsFiles();
    void installedProgramsFindTheirLibraries_data();
    void installedProgramsFindTheirLibraries();
    void desktopEntryNamesTheInstalledProgramAndIcon();
    void installedPanelDrivesTheInstalledBoard();
    void debianPackageDeclaresItsDependencies_data();
    void debianPackageDeclaresItsDependencies();
    void debianPackageHoldsTheInstalledFiles_data();
    void debianPackageHoldsTheInstalledFiles();
    void checkersFindNothingWrong_data();
    void checkersFindNothingWrong();

private:
    void addInstalledFileRows();
    QString installed(const QString& relativePath) const;
    // Packs the .deb once, into a folder of this test's own; empty when packing is impossible.
    QString debianPackage();

    QString m_buildDir;
    QTemporaryDir m_prefix;
    QTemporaryDir m_packageDir;
    QString m_package;
};

void tst_Install::initTestCase() {
    m_buildDir = qEnvironmentVariable("QUILLON_BUILD_DIR");
    QVERIFY(QFile::exists(m_buildDir + "/cmake_install.cmake"));
    QVERIFY(m_prefix.isValid());
    const ToolRun install = Run(qEnvironmentVariable("QUILLON_CMAKE_COMMAND"),
                                {"--install", m_buildDir, "--prefix", m_prefix.path()});
    QVERIFY2(install.ok, install.output.constData());
}

QString tst_Install::installed(const QString& relativePath) const {
    return m_prefix.filePath(relativePath);
}

void tst_Install::addInstalledFileRows() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("panel") << "bin/quillon" << true;
    QTest::newRow("virtual board") << "bin/quillon-board" << true;
#ifdef QUILLON_INSTALLS_SEND
    QTest::newRow("command-line sender") << "bin/quillon-send" << true;
#endif
#ifdef QUILLON_INSTALLS_SCPI
    QTest::newRow("SCPI server") << "bin/quillon-scpi" << true;
    QTest::newRow("SCPI server's manual page") << "share/man/man1/quillon-scpi.1.gz" << false;
    QTest::newRow("SCPI server's systemd template")
        << "lib/systemd/system/quillon-scpi@.service" << false;
#endif
    QTest::newRow("desktop entry") << "share/applications/quillon.desktop" << false;
    QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/quillon.svg" << false;
    QTest::newRow("panel's manual page") << "share/man/man1/quillon.1.gz" << false;
    QTest::newRow("sender's manual page") << "share/man/man1/quillon-send.1.gz" << false;
    QTest::newRow("virtual board's manual page") << "share/man/man1/quillon-board.1.gz" << false;
    QTest::newRow("license as Debian's copyright file") << "share/doc/quillon/copyright" << false;
    QTest::newRow("changelog") << "share/doc/quillon/changelog.gz" << false;
}

void tst_Install::installsItsFiles_data() {
    addInstalledFileRows();
}

void tst_Install::installsItsFiles() {
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo file(installed(path));
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    QCOMPARE(file.isExecutable(), executable);
    QVERIFY(file.size() > 0);
}

void tst_Install::installedProgramsFindTheirLibraries_data() {
    QTest::addColumn<QString>("program");
    QTest::newRow("panel") << "bin/quillon";
    QTest::newRow("virtual board") << "bin/quillon-board";
#ifdef QUILLON_INSTALLS_SEND
    QTest::newRow("command-line sender") << "bin/quillon-send";
#endif
#ifdef QUILLON_INSTALLS_SCPI
    QTest::newRow("SCPI server") << "bin/quillon-scpi";
#endif
}

void tst_Install::installedProgramsFindTheirLibraries() {
    QFETCH(QString, program);
    if (QStandardPaths::findExecutable("ldd").isEmpty())
        QSKIP("ldd is not installed");
    const ToolRun ldd = Run("ldd", {installed(program)});
    QVERIFY2(ldd.ok, ldd.output.constData());
    QVERIFY2(!ldd.output.contains("not found"), ldd.output.constData());
    QVERIFY2(ldd.output.contains("libQt6Core"), ldd.output.constData());
}

void tst_Install::desktopEntryNamesTheInstalledProgramAndIcon() {
    const QString entry = installed("share/applications/quillon.desktop");
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QString> keys;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    const QString program = keys.value("Exec").section(QLatin1Char(' '), 0, 0);
    QVERIFY2(QFileInfo(installed("bin/" + program)).isExecutable(), qPrintable(program));
    const QString icon = keys.value("Icon");
    QVERIFY2(QFile::exists(installed("share/icons/hicolor/scalable/apps/" + icon + ".svg")),
             qPrintable(icon));

    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
    const ToolRun validate = Run("desktop-file-validate", {entry});
    QVERIFY2(validate.ok && validate.output.trimmed().isEmpty(), validate.output.constData());
}

// The installed panel, started the way a desktop starts it (nothing pointing it at the build's
// libraries or plugins), against the installed virtual board; Send is clicked through the X
// server.
void tst_Install::installedPanelDrivesTheInstalledBoard() {
    if (const QString missing = XvfbSession::missingTool(); !missing.isEmpty())
        QSKIP(qPrintable(missing + " is not installed"));
    XvfbSession x;
    QVERIFY2(x.start(kStartTimeoutMs), qPrintable(x.errorString()));

    QTemporaryDir dir;
    const QString link = dir.filePath("board");
    QProcessEnvironment environment = x.environment();
    for (const char* variable : {"LD_LIBRARY_PATH", "QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH",
                                 "QT_QPA_FONTDIR", "QT_LOGGING_RULES", "QUILLON_TEST_BIN_DIR"})
        environment.remove(QString::fromLatin1(variable));
    // Qt warns about a missing runtime folder; a desktop session always has one.
    const QString runtimeDir = dir.filePath("runtime");
    QVERIFY(QDir().mkpath(runtimeDir));
    QVERIFY(
        QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    environment.insert("XDG_RUNTIME_DIR", runtimeDir);

    QProcess board;
    board.setProcessEnvironment(environment);
    board.start(installed("bin/quillon-board"), {"--link", link, "--reply", "echo"});
    QVERIFY(board.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), kStartTimeoutMs);

    QProcess panel;
    environment.insert("QUILLON_PORT1", link);
    environment.insert("QUILLON_PORT2", dir.filePath("no-such-port"));
    panel.setProcessEnvironment(environment);
    panel.start(installed("bin/quillon"), {});
    QVERIFY(panel.waitForStarted());

    const bool shown = QTest::qWaitFor(
        [&] {
            return x.xdotool({"search", "--onlyvisible", "--name", "^Form1$"});
        },
        kStartTimeoutMs);
    QVERIFY2(shown,
             qPrintable(QStringLiteral("no Form1 window; the panel is %1 (exit %2), stderr: %3")
                            .arg(panel.state() == QProcess::Running ? "running" : "gone")
                            .arg(panel.exitCode())
                            .arg(QString::fromLocal8Bit(panel.readAllStandardError()))));
    QVERIFY(x.clickAt(kSingleChannelSendOnScreen));
    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += board.readAllStandardOutput()).contains("ch0 1.100 V"),
                             kStartTimeoutMs);

    QCOMPARE(panel.state(), QProcess::Running);
    StopProcess(panel);
    StopProcess(board);
    const QByteArray panelErrors = panel.readAllStandardError();
    const QStringList warnings = MissingPieceWarnings(panelErrors);
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));

    // Qt falls back to another face in silence when a family is missing, so ask fontconfig
    // whether the Song-style face that the package's font dependency brings is there.
    if (QStandardPaths::findExecutable("fc-match").isEmpty())
        QSKIP("fc-match (fontconfig) is not installed");
    const ToolRun font = Run("fc-match", {"--format=%{family}", "AR PL UMing CN"});
    QVERIFY2(font.ok && font.output.contains("AR PL UMing CN"), font.output.constData());
}

QString tst_Install::debianPackage() {
    if (!m_package.isEmpty())
        return m_package;
    const QString cpack = qEnvironmentVariable("QUILLON_CPACK_COMMAND");
    if (cpack.isEmpty() || QStandardPaths::findExecutable("dpkg-deb").isEmpty())
        return {};
    const ToolRun pack =
        Run(cpack, {"--config", m_buildDir + "/CPackConfig.cmake", "-B", m_packageDir.path()});
    if (!pack.ok) {
        qWarning("%s", pack.output.constData());
        return {};
    }
    const QStringList packages = QDir(m_packageDir.path()).entryList({"*.deb"}, QDir::Files);
    if (packages.size() == 1)
        m_package = m_packageDir.filePath(packages.first());
    return m_package;
}

void tst_Install::debianPackageDeclaresItsDependencies_data() {
    QTest::addColumn<QString>("dependency");
    QTest::addColumn<bool>("foundByShlibdeps");
    QTest::newRow("Qt core runtime") << "libqt6core6" << true;
    QTest::newRow("Qt GUI runtime") << "libqt6gui6" << true;
    QTest::newRow("Qt widgets runtime") << "libqt6widgets6" << true;
    QTest::newRow("Qt serial port runtime") << "libqt6serialport6" << true;
    QTest::newRow("Qt platform plugins") << "qt6-qpa-plugins" << false;
    QTest::newRow("Song-style Chinese font") << "fonts-arphic-uming" << false;
    QTest::newRow("C library") << "libc6" << true;
    QTest::newRow("C++ library") << "libstdc++6" << true;
}

void tst_Install::debianPackageDeclaresItsDependencies() {
    QFETCH(QString, dependency);
    QFETCH(bool, foundByShlibdeps);
    if (foundByShlibdeps && QStandardPaths::findExecutable("dpkg-shlibdeps").isEmpty())
        QSKIP("dpkg-shlibdeps (dpkg-dev) is not installed");
    const QString package = debianPackage();
    if (package.isEmpty())
        QSKIP("cpack or dpkg-deb cannot make or read the package here");

    const ToolRun depends = Run("dpkg-deb", {"--field", package, "Depends"});
    QVERIFY2(depends.ok, depends.output.constData());
    QStringList names;
    for (const QString& entry : QString::fromUtf8(depends.output).split(QLatin1Char(',')))
        names << entry.trimmed().section(QLatin1Char(' '), 0, 0);
    QVERIFY2(names.count(dependency) == 1, depends.output.constData());
}

void tst_Install::debianPackageHoldsTheInstalledFiles_data() {
    addInstalledFileRows();
}

void tst_Install::debianPackageHoldsTheInstalledFiles() {
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QString package = debianPackage();
    if (package.isEmpty())
        QSKIP("cpack or dpkg-deb cannot make or read the package here");

    const ToolRun contents = Run("dpkg-deb", {"--contents", package});
    QVERIFY2(contents.ok, contents.output.constData());
    const QRegularExpression entry(
        QStringLiteral("^%1\\S* .* \\./usr/%2$")
            .arg(executable ? "-rwx" : "-rw-", QRegularExpression::escape(path)),
        QRegularExpression::MultilineOption);
    QVERIFY2(QString::fromUtf8(contents.output).contains(entry), contents.output.constData());
}

void tst_Install::checkersFindNothingWrong_data() {
    QTest::addColumn<QString>("checker");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path"); // the installed file checked; empty for the Debian package
    QTest::addColumn<QString>("complaint");

    // The way lintian formats a manual page to find its mistakes.
    const QStringList man{"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z"};
    const QString troffComplaint = "^(troff|groff|man|preconv|grotty|tbl): .*$";
    QTest::newRow("the panel's manual page formats without a warning")
        << "man" << man << "share/man/man1/quillon.1.gz" << troffComplaint;
    QTest::newRow("the sender's manual page formats without a warning")
        << "man" << man << "share/man/man1/quillon-send.1.gz" << troffComplaint;
    QTest::newRow("the virtual board's manual page formats without a warning")
        << "man" << man << "share/man/man1/quillon-board.1.gz" << troffComplaint;
    QTest::newRow("the SCPI server's manual page formats without a warning")
        << "man" << man << "share/man/man1/quillon-scpi.1.gz" << troffComplaint;
    QTest::newRow("lintian finds no error and no warning in the Debian package")
        << "lintian" << QStringList{"--tag-display-limit", "0"} << QString() << "^[EW]: .*$";
}

void tst_Install::checkersFindNothingWrong() {
    QFETCH(QString, checker);
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QString, complaint);
    if (QStandardPaths::findExecutable(checker).isEmpty())
        QSKIP(qPrintable(checker + " is not installed"));
    const QString checked = path.isEmpty() ? debianPackage() : installed(path);
    if (checked.isEmpty())
        QSKIP("cpack or dpkg-deb cannot make or read the package here");

    const ToolRun check = Run(checker, arguments << checked);
    QStringList complaints;
    QRegularExpressionMatchIterator found =
        QRegularExpression(complaint, QRegularExpression::MultilineOption)
            .globalMatch(QString::fromUtf8(check.output));
    while (found.hasNext())
        complaints << found.next().captured();
    QVERIFY2(check.ok && complaints.isEmpty(),
             qPrintable(complaints.isEmpty() ? QString::fromUtf8(check.output)
                                             : complaints.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
