#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "gui/framework/application.h"

namespace zelpack::framework {

struct Application::State {
    State(int& argc, char** argv) : application(argc, argv) {
        // The program speaks Chinese whatever the user's locale, so Qt's own dialogs (the folder
        // browser, the save dialog, their buttons) must too. Without the translations (Debian's
        // qt6-translations-l10n) they stay English.
        if (qt_translator.load(QStringLiteral("qtbase_zh_CN"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(&qt_translator);
        }
    }
    QApplication application;
    // After the application: it is removed from it on destruction, before the application goes.
    QTranslator qt_translator;
};

Application::Application(int& argc, char** argv) : state_(std::make_unique<State>(argc, argv)) {}

Application::~Application() = default;

}  // namespace zelpack::framework
