#include "upgrade/upgrade_inventory.h"

#include "access/TelnetSync.h"
#include "payload/PayloadDigests.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Terminate.h"
#include "platform/TextLines.h"
#include "platform/WorkingFolder.h"
#include "tftp/ITftpHost.h"
#include "upgrade/ShowParsers.h"
#include "upgrade/upgrade_device.h"

#include <QFile>
#include <QSaveFile>

using Platform::MessageKind;

QString inventoryLine(const QString &label, const QString &value)
{
    return label.leftJustified(15) + QLatin1Char(' ') + value;
}

void saveImage(ITftpHost &host, const QString &name, const QString &folder)
{
    if (!host.AppendixFileExists(name))
        return;
    const std::unique_ptr<QIODevice> image = host.OpenAppendixFile(name);
    if (!image)
        return;
    const QByteArray bytes = image->readAll();
    const std::unique_ptr<QIODevice> digests = host.OpenAppendixFile(kDigestListName);
    const QString problem = digestProblem(digests ? std::optional(digests->readAll()) : std::nullopt, name, bytes);
    if (!problem.isEmpty())
        throw Exception(problem);
    QSaveFile file(folder + name);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(file.fileName());
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EWriteError();
}

bool TTelnetOperations::GatherInformation(const TProgressEvent &OnProgress)
{
    bool result = true;
    try {
        OnProgress(this, QStringLiteral("Trying to open telnet connection..."));
        if (!Login()) {
            tell(MessageKind::Warning,
                                  QStringLiteral("Seems that Tessaro utility did not find device ") + Telnet->RemoteHost()
                                      + QStringLiteral("\n\rPleasae verify that this is the correct IP address of the device\n\r"
                                                       "Tessaro will now terminate."));
            throw Exception(kShouldTerminate);
        }
        OnProgress(this, QStringLiteral("Gathering information"));

        Telnet->SendLineWaitForPrompt(QStringLiteral("show system") + StackUnit + QStringLiteral("\n"), kPromptPolls);
        Trace(QStringLiteral("show system") + StackUnit, QStringLiteral("checking result for \"show system unit 1-2"));
        if (Telnet->Received.size() <= 5) {
            Trace(Platform::linesText(Telnet->Received), QString());
            Trace(QStringLiteral("Trace: show System Returns False"), QString());
            return false;
        }
        SystemInfo = ParseShowSystem(Telnet->Received);
        const TShowSystem &system = SystemInfo;
        OnProgress(this, inventoryLine(QStringLiteral("Type        :"), system.Type));
        OnProgress(this, inventoryLine(QStringLiteral("OID         :"), system.ObjectId));
        OnProgress(this, inventoryLine(QStringLiteral("Sys Name    :"), system.Name));
        OnProgress(this, inventoryLine(QStringLiteral("Location    :"), system.Location));
        OnProgress(this, inventoryLine(QStringLiteral("Sys Contct  :"), system.Contact));
        OnProgress(this, inventoryLine(QStringLiteral("Mac-Address :"), system.MacAddress));

        InterimImage = ImageTable.ReadString(system.ObjectId, QStringLiteral("ImageFile"));
        FinalImage = ImageTable.ReadString(system.ObjectId, QStringLiteral("ImageFile746"));
        FinalVersion = ImageTable.ReadString(system.ObjectId, QStringLiteral("ver746"));
        if (!ResetStarted && InterimImage.isEmpty()) {
            tell(MessageKind::Warning, QStringLiteral("Did not find device  ") + system.Type
                                           + QStringLiteral(" information.\n\rApplication will terminate"));
            RequestEnd();
            throw Exception(kShouldTerminate);
        }
        if (!ResetStarted && TftpHost && TftpHost->HasAppendix()) {
            saveImage(*TftpHost, InterimImage, WorkingFolder());
            saveImage(*TftpHost, FinalImage, WorkingFolder());
        }

        Telnet->SendLineWaitForPrompt(QStringLiteral("show version") + StackUnit + QStringLiteral("\n"), kPromptPolls);
        const TVersion version = ParseVersion(Telnet->Received, QStringLiteral("SW version"));
        OnProgress(this, QStringLiteral("Version     :") + QStringLiteral("   %1 : %2 ").arg(version.Version, version.Date));
        CurrentVersion = version.Version;
        Trace(QStringLiteral("Trace: current version"), CurrentVersion);

        Telnet->SendLineWaitForPrompt(QStringLiteral("show bootvar") + StackUnit + QStringLiteral("\n"), kPromptPolls);
        Trace(QStringLiteral("Trace: show bootvar") + StackUnit, QString());
        const TBootVar boot = ParseBootVar(Telnet->Received);
        ActiveImage = boot.Active;
        ImageAfterReset = boot.Next;
        Trace(QStringLiteral("Trace: Active Image %1 : after reset %2").arg(ActiveImage).arg(ImageAfterReset), QString());
        if (ActiveImage > 0)
            Trace(QStringLiteral("Images...   :"), QStringLiteral("Active      :%1 after reset :%2 ").arg(ActiveImage).arg(ImageAfterReset));
        else
            Trace(QStringLiteral("Images..."), QStringLiteral("One Image Device!!!!"));
        OnProgress(this, QStringLiteral("Active      :   image %1 after reset :image %2 ").arg(ActiveImage).arg(ImageAfterReset));
    } catch (const std::exception &error) {
        const auto *known = dynamic_cast<const Exception *>(&error);
        const QString message = known ? known->message() : QString::fromLocal8Bit(error.what());
        tell(MessageKind::Plain, QStringLiteral("EXCEPTION : ") + message + QStringLiteral(" Installer will terminate"));
        RequestEnd();
    }
    return result;
}

void TTelnetOperations::ShowStack()
{
    StackUnit.clear();
    Telnet->SendLineWaitForPrompt(QStringLiteral("show stack\n"), kPromptPolls);
    StackUnit = parseShowStack(Telnet->Received);
    IsStack = !StackUnit.isEmpty();
}
