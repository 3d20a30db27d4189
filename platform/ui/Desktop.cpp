#include "platform/ui/Desktop.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QStyleHints>
#include <QTranslator>
#include <QWidget>

namespace ui {

namespace {

bool g_applied = false;
bool g_translated = false;

bool ThemeInstalled(const QString& Name) {
    for (const QString& base : QIcon::themeSearchPaths())
        if (QDir(base + "/" + Name).exists("index.theme")) return true;
    return false;
}

void InstallTranslations() {
    // Owned by the application object, so it goes when the application does.
    auto* translator = new QTranslator(qApp);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt_pt_BR" gathers the catalogues of every Qt module (qtbase...).
    if (translator->load(QStringLiteral("qt_pt_BR"), folder) && QCoreApplication::installTranslator(translator)) {
        g_translated = true;
    } else {
        delete translator;
    }
}

// Where the desktop keeps icon themes: some platforms (the offscreen one)
// tell Qt none of these folders.
void AddIconFolders() {
    QStringList paths = QIcon::themeSearchPaths();
    QStringList wanted;
    QString home = qEnvironmentVariable("HOME");
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME", home + "/.local/share");
    wanted << home + "/.icons" << dataHome + "/icons";
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : dataDirs.split(':', Qt::SkipEmptyParts)) wanted << d + "/icons";
    for (const QString& w : wanted)
        if (!paths.contains(w) && QDir(w).exists()) paths << w;
    QIcon::setThemeSearchPaths(paths);
}

void ChooseIconTheme() {
    AddIconFolders();
    const QString installed = QString::fromLatin1(kIconTheme);
    // Outside a desktop (a bare X server, the offscreen platform) Qt knows
    // no theme, or only the empty "hicolor": take the installed one. Under a
    // desktop its own theme stays first and ours fills what it lacks.
    QString current = QIcon::themeName();
    if ((current.isEmpty() || current == QLatin1String("hicolor")) && ThemeInstalled(installed))
        QIcon::setThemeName(installed);
    if (ThemeInstalled(installed)) QIcon::setFallbackThemeName(installed);
}

}  // namespace

QFont DefaultFont() {
    QFont f(QString::fromLatin1(kFontFamily), kFontPointSize);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

void ApplyDesktopLook() {
    if (g_applied || qApp == nullptr) return;
    g_applied = true;
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    InstallTranslations();
    QApplication::setFont(DefaultFont());
    ChooseIconTheme();
    QCoreApplication::setAttribute(Qt::AA_DontShowIconsInMenus, false);
    // Popup menus list their shortcut keys, as the main menu's do.
    QGuiApplication::styleHints()->setShowShortcutsInContextMenus(true);
}

bool QtTranslationsLoaded() { return g_translated; }

bool HasThemeIcon(const std::string& Name) { return QIcon::hasThemeIcon(QString::fromStdString(Name)); }

QIcon ThemeIcon(const std::string& Name) {
    QIcon icon = QIcon::fromTheme(QString::fromStdString(Name));
    if (!icon.isNull()) return icon;
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

void SetProgramIcon(const QIcon& Icon) { QApplication::setWindowIcon(Icon); }

QIcon ProgramIcon() { return QApplication::windowIcon(); }

QRect AvailableScreenArea(const QWidget* Near) {
    QScreen* screen = Near != nullptr && Near->screen() != nullptr ? Near->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return QRect(0, 0, 1024, 768);
    QRect area = screen->availableGeometry();
    return area.isEmpty() ? screen->geometry() : area;
}

}  // namespace ui
