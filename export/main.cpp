// VelkanDataExport: the fee-data export window.
#include <QApplication>

#include "LargePages.h"
#include "QtMessageSink.h"
#include "VelkanFont.h"
#include "frmVelkanDataExport.h"

int main(int argc, char** argv) {
    UseLargePages(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(frmVelkanDataExport::kProgramName));
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
