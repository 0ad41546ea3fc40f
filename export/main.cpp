// VelkanDataExport: the fee-data export window.
#include <QApplication>
#include <QIcon>

#include "LargePages.h"
#include "QtMessageSink.h"
#include "VelkanFont.h"
#include "frmVelkanDataExport.h"

int main(int argc, char** argv) {
    UseLargePages(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(frmVelkanDataExport::kProgramName));
    // The menu entry's icon and name, so that the task bar shows the program's
    // own icon and links its windows to the entry.
    QApplication::setDesktopFileName(QStringLiteral("velkan-data-export"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velkan-data-export")));
    QApplication::setFont(VelkanFont());
    InstallJapaneseTranslations(app);

    QtMessageSink messages;
    frmVelkanDataExport window(messages);
    messages.setParent(&window);
    // A failed start-up has shown its message and unloaded the window.
    if (!window.Startup())
        return 0;
    window.show();
    return QApplication::exec();
}
