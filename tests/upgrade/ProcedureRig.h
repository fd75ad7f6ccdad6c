#pragma once

#include "access/TelnetSync.h"
#include "platform/Clock.h"
#include "platform/Terminate.h"
#include "platform/WorkingFolder.h"
#include "tftp/host/HostWindow.h"
#include "upgrade/upgrade_device.h"

#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestData.h"
#include "TestFiles.h"

#include <QtTest>

// The demo's image table with images of about the real size, packed at test time into
// folder/name: what the procedure extracts and the switch fetches.
inline QString packDemoPayload(const QString &folder, const QString &name, qsizetype interimSize = 3'500'373)
{
    return packFixture(folder, name,
                       {{"private.ini", readFile(TESSARO_ASSETS_DIR "/private.ini")},
                        {"sim_ge-interim.img", pattern(interimSize, 1)},
                        {"sim_ge-746.img", pattern(5'421'431, 2)},
                        {"sim_fe-interim.img", pattern(3'656'697, 3)},
                        {"sim_fe-746.img", pattern(5'369'014, 4)}});
}

// A working folder of its own in folder, with the demo's image table, as start-up leaves it.
inline bool prepareWorkingFolder(const QString &folder)
{
    qputenv("TMPDIR", folder.toLocal8Bit());
    return QDir().mkpath(WorkingFolder())
        && writeFile(WorkingFolder() + "private.ini", readFile(TESSARO_ASSETS_DIR "/private.ini"));
}

// The wizard's side of the procedure: the operator, the TFTP host serving the working folder
// on UDP 69 from the payload (none without a payload: the settings need no copies), and the
// one TTelnetOperations aimed at a simulated switch, with every progress text written down.
class ProcedureRig final
{
public:
    explicit ProcedureRig(const QString &payload, const QString &configFileName = {})
    {
        Platform::clearTerminateRequest();
        if (!payload.isEmpty()) {
            host = std::make_unique<TfrmMain>(payload);
            host->TftpServer->SetActive(true);
            operations.TftpHost = host.get();
        }
        operations.UserName = QStringLiteral("admin");
        operations.Password = QStringLiteral("admin");
        operations.TftpServerAddress = QStringLiteral("127.0.0.1");
        operations.SetConfigFileName(configFileName);
    }
    Q_DISABLE_COPY_MOVE(ProcedureRig)

    // Logs in and takes the inventory, as the device page does before the run.
    bool takeInventory(const SwitchSim &sim)
    {
        operations.DeviceAddress = sim.address();
        operations.Telnet->SetRemotePort(sim.port(QStringLiteral("telnet")));
        const bool taken = operations.GatherInformation(onProgress) && dialogs.shown().isEmpty();
        progress.clear();
        return taken;
    }

    // The message of the error the operation raised; empty when it raised none.
    QString raisedBy(const std::function<void()> &operation)
    {
        try {
            operation();
        } catch (const Exception &error) {
            return error.message();
        }
        return {};
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<TfrmMain> host;
    TTelnetOperations operations;
    QStringList progress;
    // Called with each text before it is written down.
    std::function<void(const QString &)> onText;
    const TProgressEvent onProgress = [this](TTelnetOperations *, const QString &text) {
        if (onText)
            onText(text);
        progress << text;
    };
};
