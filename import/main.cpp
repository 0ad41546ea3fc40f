// VelkanDataImport: the fee-data import window.
#include <QApplication>

#include "LargePages.h"
#include "QtMessageSink.h"
#include "VelkanFont.h"
#include "frmVelkanDataImport.h"

int main(int argc, char** argv) {
    UseLargePages(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(frmVelkanDataImport::kProgramName));
    QApplication::setFont(VelkanFont());
    InstallJapaneseTranslations(app);

    QtMessageSink messages;
    frmVelkanDataImport window(messages);
    messages.setParent(&window);
    // A failed start-up has shown its message and unloaded the window.
    if (!window.Startup())
        return 0;
    window.show();
    return QApplication::exec();
}
