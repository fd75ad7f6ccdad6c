// Tessaro: the wizard that takes a switch through the intermediate firmware to release 746.

#include "app/AppEvents.h"
#include "app/DisplayGuard.h"
#include "app/Form_Main.h"
#include "tftp/host/HostWindow.h"
#include "wizard/HelpDlg.h"
#include "wizard/WidgetDialogs.h"

int main(int argc, char *argv[])
{
    TDisplayGuard display;
    TApplication application(argc, argv);
    display.connected();
    TWidgetDialogs dialogs;
    // The payload is read from the program's own file by its full path: a bare file name
    // would depend on the folder the program was started from.
    const QString self = QCoreApplication::applicationFilePath();

    // The order matters: the main window comes first and is the application's main window;
    // leaving main destroys them in reverse, the TFTP host (and its transfer windows inside
    // the main window) before the main window.
    TMainForm mainForm(self);
    if (mainForm.WorkingFolderRefused())
        return 1;
    TfrmMain frmMain(self);
    TOKHelpBottomDlg helpDialog(&mainForm);
    mainForm.SetTftpHost(&frmMain);
    mainForm.SetHelpDialog(&helpDialog);

    mainForm.show();
    return application.exec();
}
