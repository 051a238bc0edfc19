#pragma once

class QApplication;

namespace platform {

// Prepares the application before its first window: the font substitutes, Qt's own texts
// (context menus, standard buttons) in Chinese whatever the locale, and the application icon.
void setUpApplication(QApplication &app);

} // namespace platform
