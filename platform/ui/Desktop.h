#pragma once
// The desktop look every window of the program shares, settled once when the
// Qt application starts (ui::StartApplication calls ApplyDesktopLook):
//   - Qt's own texts (standard buttons, file dialogs, the edit context menus)
//     in Brazilian Portuguese, from the translations Qt ships;
//   - one font for every control, Liberation Sans (the metric twin of Arial)
//     at kFontPointSize, so forms measure the same on every machine and a
//     test can check that texts fit their boxes;
//   - icons by their freedesktop names from the desktop's icon theme, with an
//     installed theme behind it and a drawn fallback, so an icon is never a
//     hole;
//   - shortcut keys shown in popup menus too.
// Forms never set fonts or icon themes of their own: what they need of the
// look they ask here.
#include <string>

#include <QFont>
#include <QIcon>

class QScreen;
class QWidget;

namespace ui {

inline constexpr const char* kFontFamily = "Liberation Sans";
inline constexpr int kFontPointSize = 9;
// The theme the install script brings; it stands behind the desktop's own.
inline constexpr const char* kIconTheme = "Adwaita";

// Installs the translator, the font, the icon theme and the menu hints.
// Idempotent; StartApplication runs it.
void ApplyDesktopLook();
// The program's font (the one every control starts with).
QFont DefaultFont();
// Whether Qt's Portuguese texts were found and installed.
bool QtTranslationsLoaded();

// The icon of that freedesktop name ("document-save", "system-users") from
// the desktop's theme or the installed one; a stock picture of the style
// when neither has it. Never a null icon.
QIcon ThemeIcon(const std::string& Name);
// True when the themes (not the fallback) have the name.
bool HasThemeIcon(const std::string& Name);

// The program's own icon, shown by every window (set once at start-up).
void SetProgramIcon(const QIcon& Icon);
QIcon ProgramIcon();

// The part of the screen windows may cover (without panels and docks); the
// whole screen when the platform does not tell.
QRect AvailableScreenArea(const QWidget* Near = nullptr);

}  // namespace ui
