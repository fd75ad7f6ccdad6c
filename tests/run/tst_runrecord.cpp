#include "run/RunRecord.h"

#include "TestFiles.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>

#include <unistd.h>

Q_DECLARE_METATYPE(TRunRecord)

namespace {

using Kind = TTimelineSpan::Kind;

const QDateTime kStart(QDate(2026, 3, 12), QTime(9, 14, 3, 120), Qt::UTC);

QDateTime at(int seconds)
{
    return kStart.addSecs(seconds);
}

QByteArray digestOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// A whole standalone upgrade as the wizard runs it: about twelve minutes, two images, one backup.
TRunRecord doneStandalone()
{
    TRunRecord record;
    record.Program = "tessaro 1.0.0.1";
    record.Started = kStart;
    record.Ended = at(706);
    record.SwitchAddress = "10.20.30.41";
    record.Type = "Norvale GS-24";
    record.ObjectId = "1.3.6.1.4.1.99999.1.1.24";
    record.SystemName = "core-sw-1";
    record.MacAddress = "00:1b:21:3a:4f:c2";
    record.TftpServerAddress = "10.20.30.5";
    record.InterimImage = "sim_ge-interim.img";
    record.FinalImage = "sim_ge-746.img";
    record.FinalVersion = "7.4.6";
    record.Before = {at(4), "7.4.3", 1, 1, {{1, "7.4.3"}}};
    record.AfterReset = TSwitchState{at(283), "7.4.5i", 2, 2, {{1, "7.4.5i"}}};
    record.After = TSwitchState{at(701), "7.4.6", 1, 1, {{1, "7.4.6"}}};
    record.Backups = {{"/home/op/backups/core-sw-1.cfg", 48213, digestOf("config"), 1}};
    record.Images = {{"sim_ge-interim.img", 3500373, digestOf("interim"), at(19), at(115), 3500373, 2, true},
                     {"sim_ge-746.img", 5421431, digestOf("final"), at(300), at(448), 5421431, 0, true}};
    record.Timeline = {{Kind::Step, "Log in", at(0), 3400},
                       {Kind::Step, "Read the inventory", at(3), 2100},
                       {Kind::Transfer, "Configuration backup", at(6), 4800},
                       {Kind::Step, "Prepare the switch", at(12), 6200},
                       {Kind::Transfer, "sim_ge-interim.img", at(19), 96000},
                       {Kind::Step, "Select the intermediate image", at(116), 2300},
                       {Kind::Step, "Reset", at(119), 1500},
                       {Kind::Wait, "Switch comes back from its reset", at(121), 160000},
                       {Kind::Step, "Read the state after the reset", at(282), 4100},
                       {Kind::Wait, "Self-upgrade", at(287), 390000},
                       {Kind::Transfer, "sim_ge-746.img", at(300), 148000},
                       {Kind::Step, "Acknowledge the last step", at(678), 1200},
                       {Kind::Step, "Read the final state", at(700), 5200}};
    record.Result.Outcome = TRunOutcome::Done;
    record.LogPath = "/tmp/Quillo/Quillo_10.20.30.41.log";
    record.RecordPath = "/home/op/backups/core-sw-1.run.json";
    record.ReportPath = "/home/op/backups/core-sw-1.run.html";
    record.LeftConfigured = {"snmp-server community vemtal su", "snmp-server location \"Upgraded\""};
    record.RemovalCommands = {"configure", "no snmp-server community vemtal", "no snmp-server location", "end"};
    return record;
}

// A stack that failed while it fetched the intermediate image: nothing read after a reset, the
// image's transfer hung and never ended.
TRunRecord failedStack()
{
    TRunRecord record = doneStandalone();
    record.Units = 3;
    record.IsStack = true;
    record.Before.Units = {{1, "7.4.3"}, {2, "7.4.3"}, {3, "7.4.2"}};
    record.AfterReset.reset();
    record.After.reset();
    record.Images = {{"sim_ge-interim.img", 3500373, QByteArray(), at(19), QDateTime(), 1200000, 14, false}};
    record.Timeline = record.Timeline.mid(0, 5);
    record.Ended = at(140);
    record.Result = {TRunOutcome::Failed, "Download the intermediate image", "The switch stopped fetching the image.",
                     "TFTP file transfer had failed.\n\rApplication will terminate."};
    return record;
}

// Stopped by the operator while the switch upgraded itself; its times were taken in a zone
// east of UTC, and a second run took a second backup.
TRunRecord interruptedRun()
{
    TRunRecord record = doneStandalone();
    const auto east = [](const QDateTime &time) { return time.toOffsetFromUtc(2 * 3600); };
    record.Started = east(record.Started);
    record.Ended = east(at(500));
    record.DhcpAfterReset = true;
    record.After.reset();
    record.Timeline = record.Timeline.mid(0, 10);
    record.Timeline.last().DurationMs = 213000;
    record.Images = record.Images.mid(0, 1);
    record.Backups.append({"/home/op/backups/core-sw-1.2.cfg", 48300, digestOf("config 2"), 2});
    record.Result = {TRunOutcome::Interrupted, "Self-upgrade", "The operator closed the wizard.", QString()};
    return record;
}

// Every text that comes from the switch or the operator holds markup, quotes, a placeholder
// and, from a telnet answer, an escape sequence.
TRunRecord hostileTexts()
{
    TRunRecord record = failedStack();
    record.SwitchAddress = "sw<1>&\"";
    record.Type = "GS-24\x1b[K <b>";
    record.SystemName = "<script>&\"%2 S\u00fcd";
    record.MacAddress = "%1%2";
    record.Before.Version = "7.4.3 <i>";
    record.Before.Units = {{1, "<unit>&amp;"}};
    record.Backups.first().Path = "/home/o&p/<x>.cfg";
    record.Images.first().Name = "img\"<x>";
    record.Timeline.first().Text = "Log in as <admin> & \"go\"";
    record.Result.Step = "<step>";
    record.Result.Reason = "Reason & <why>";
    record.Result.Error = "</pre><script>x</script>";
    record.LogPath = "/tmp/<log>&.log";
    record.LeftConfigured = {"snmp-server location \"<here> & there\""};
    record.RemovalCommands = {"no snmp-server location <x>", "copy running-config startup-config & \"y\""};
    return record;
}

// A switch already on the final version: nothing saved, served or timed, nothing left behind,
// boot slots not read.
TRunRecord nothingDone()
{
    TRunRecord record;
    record.Program = "tessaro-run 1.0.0.1";
    record.Started = kStart;
    record.Ended = at(9);
    record.SwitchAddress = "10.20.30.42";
    record.Before = {at(4), "7.4.6", -1, -1, {}};
    record.Result.Outcome = TRunOutcome::AlreadyFinal;
    return record;
}

void addRecords()
{
    QTest::addColumn<TRunRecord>("record");
    QTest::newRow("done standalone") << doneStandalone();
    QTest::newRow("failed stack, no after") << failedStack();
    QTest::newRow("interrupted, times east of UTC") << interruptedRun();
    QTest::newRow("switch and operator texts with markup") << hostileTexts();
    QTest::newRow("already final, nothing done") << nothingDone();
    QTest::newRow("last step reported, final version not seen") << [] {
        TRunRecord record = doneStandalone();
        record.After.reset();
        record.Result = {TRunOutcome::Unconfirmed, "Confirming the final version",
                         "The switch reported the last step of its upgrade, but did not answer after its reset.", {}};
        return record;
    }();
}

QString outcomeWord(TRunOutcome outcome)
{
    switch (outcome) {
    case TRunOutcome::Done:
        return "Done";
    case TRunOutcome::AlreadyFinal:
        return "Already final";
    case TRunOutcome::Unconfirmed:
        return "Not confirmed";
    case TRunOutcome::Failed:
        return "Failed";
    case TRunOutcome::Interrupted:
        return "Interrupted";
    }
    return {};
}

// ---- Reading the JSON back

void compareKeys(const QJsonObject &object, QStringList expected)
{
    std::sort(expected.begin(), expected.end());
    QCOMPARE(object.keys(), expected);
}

void compareTime(const QJsonValue &value, const QDateTime &time)
{
    if (!time.isValid()) {
        QVERIFY(value.isNull());
        return;
    }
    static const QRegularExpression utcWithMs(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)");
    QVERIFY2(utcWithMs.match(value.toString()).hasMatch(), qPrintable(value.toString()));
    QCOMPARE(QDateTime::fromString(value.toString(), Qt::ISODateWithMs), time);
}

void compareDigest(const QJsonValue &value, const QByteArray &digest)
{
    if (digest.isEmpty()) {
        QVERIFY(value.isNull());
        return;
    }
    QCOMPARE(value.toString(), QString::fromLatin1(digest.toHex()));
    QCOMPARE(value.toString(), value.toString().toLower());
}

void compareSlot(const QJsonValue &value, int slot)
{
    if (slot < 0)
        QVERIFY(value.isNull());
    else
        QCOMPARE(value.toInt(-1), slot);
}

void compareState(const QJsonValue &value, const std::optional<TSwitchState> &state)
{
    if (!state) {
        QVERIFY(value.isNull());
        return;
    }
    const QJsonObject object = value.toObject();
    compareKeys(object, {"readAt", "version", "activeImage", "nextImage", "units"});
    compareTime(object["readAt"], state->ReadAt);
    QCOMPARE(object["version"].toString(), state->Version);
    compareSlot(object["activeImage"], state->ActiveImage);
    compareSlot(object["nextImage"], state->NextImage);
    const QJsonArray units = object["units"].toArray();
    QCOMPARE(units.size(), state->Units.size());
    for (qsizetype n = 0; n < units.size(); ++n) {
        compareKeys(units[n].toObject(), {"unit", "version"});
        QCOMPARE(units[n]["unit"].toInt(), state->Units[n].Unit);
        QCOMPARE(units[n]["version"].toString(), state->Units[n].Version);
    }
}

QStringList strings(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list.append(item.toString());
    return list;
}

// The value at a path such as "images/0/rate".
QJsonValue valueAt(const QJsonObject &object, const QString &path)
{
    QJsonValue value = object;
    for (const QString &part : path.split('/')) {
        bool index = false;
        const int n = part.toInt(&index);
        value = index ? value.toArray().at(n) : value.toObject().value(part);
    }
    return value;
}

// ---- Reading the page back

struct Node
{
    QString name;
    QXmlStreamAttributes attributes;
    QList<Node> children;
    // Every text inside, the children's included, with references resolved.
    QString text;

    QString attribute(const QString &attributeName) const { return attributes.value(attributeName).toString(); }
    bool hasClass(const QString &className) const
    {
        return attribute("class").split(' ', Qt::SkipEmptyParts).contains(className);
    }
};

Node readPage(const QString &html, QString &error)
{
    Node root;
    QList<Node *> open{&root};
    QXmlStreamReader reader(html);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            open.last()->children.append(Node{reader.name().toString(), reader.attributes(), {}, {}});
            open.append(&open.last()->children.last());
            break;
        case QXmlStreamReader::EndElement:
            open.removeLast();
            break;
        case QXmlStreamReader::Characters:
            for (Node *node : open)
                node->text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        error = QString("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    return root;
}

void collect(const Node &node, const std::function<bool(const Node &)> &match, QList<const Node *> &found)
{
    if (match(node))
        found.append(&node);
    for (const Node &child : node.children)
        collect(child, match, found);
}

QList<const Node *> findAll(const Node &root, const std::function<bool(const Node &)> &match)
{
    QList<const Node *> found;
    collect(root, match, found);
    return found;
}

const Node *findId(const Node &root, const QString &id)
{
    const auto found = findAll(root, [&](const Node &node) { return node.attribute("id") == id; });
    return found.isEmpty() ? nullptr : found.first();
}

QList<const Node *> elements(const Node &root, const QString &name, const QString &className = {})
{
    return findAll(root, [&](const Node &node) {
        return node.name == name && (className.isEmpty() || node.hasClass(className));
    });
}

// What the page shows of a text from the switch: one line break for each of its line ends
// ("\n\r" in the program's own messages), a mark for each control character.
QString shown(QString text)
{
    text.replace("\r\n", "\n").replace("\n\r", "\n").replace('\r', '\n');
    for (QChar &c : text)
        if (c.unicode() < 0x20 && c != '\t' && c != '\n')
            c = QChar(QChar::ReplacementCharacter);
    return text;
}

// Makes a file's folder read-only to the writer, root included: root writes into any folder,
// so the writer then runs with an ordinary user's rights for the scope's lifetime.
class ReadOnlyFolder final
{
    Q_DISABLE_COPY_MOVE(ReadOnlyFolder)

public:
    explicit ReadOnlyFolder(const QString &folder) : m_folder(folder)
    {
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                            | QFile::ReadOther | QFile::ExeOther);
        if (geteuid() == 0)
            m_droppedRoot = seteuid(kNobody) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_droppedRoot && seteuid(0) != 0)
            qFatal("cannot take root's rights back");
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool holds() const { return geteuid() != 0; }

private:
    static constexpr uid_t kNobody = 65534;
    QString m_folder;
    bool m_droppedRoot = false;
};

} // namespace

// The run's result record (JSON for automation) and its report (one self-contained HTML page
// for the operator), and the two files they are written to.
class TestRunRecord : public QObject
{
    Q_OBJECT

private slots:
    void jsonRoundTripsEveryField_data() { addRecords(); }
    void jsonRoundTripsEveryField()
    {
        QFETCH(TRunRecord, record);
        QJsonParseError error;
        const QJsonDocument document =
            QJsonDocument::fromJson(QJsonDocument(recordJson(record)).toJson(QJsonDocument::Indented), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject json = document.object();

        compareKeys(json, {"recordFormat", "program", "started", "ended", "switchAddress", "type", "objectId",
                           "systemName", "macAddress", "units", "isStack", "tftpServerAddress", "dhcpAfterReset",
                           "interimImage", "finalImage", "finalVersion", "before", "afterReset", "after", "backups",
                           "images", "timeline", "result", "logPath", "recordPath", "reportPath", "leftConfigured",
                           "removalCommands"});
        QCOMPARE(json["recordFormat"].toInt(), 1);
        QCOMPARE(json["program"].toString(), record.Program);
        compareTime(json["started"], record.Started);
        compareTime(json["ended"], record.Ended);
        QCOMPARE(json["switchAddress"].toString(), record.SwitchAddress);
        QCOMPARE(json["type"].toString(), record.Type);
        QCOMPARE(json["objectId"].toString(), record.ObjectId);
        QCOMPARE(json["systemName"].toString(), record.SystemName);
        QCOMPARE(json["macAddress"].toString(), record.MacAddress);
        QCOMPARE(json["units"].toInt(), record.Units);
        QCOMPARE(json["isStack"].toBool(!record.IsStack), record.IsStack);
        QCOMPARE(json["tftpServerAddress"].toString(), record.TftpServerAddress);
        QCOMPARE(json["dhcpAfterReset"].toBool(!record.DhcpAfterReset), record.DhcpAfterReset);
        QCOMPARE(json["interimImage"].toString(), record.InterimImage);
        QCOMPARE(json["finalImage"].toString(), record.FinalImage);
        QCOMPARE(json["finalVersion"].toString(), record.FinalVersion);
        compareState(json["before"], record.Before);
        compareState(json["afterReset"], record.AfterReset);
        compareState(json["after"], record.After);

        const QJsonArray backups = json["backups"].toArray();
        QCOMPARE(backups.size(), record.Backups.size());
        for (qsizetype n = 0; n < backups.size(); ++n) {
            const TBackupFile &backup = record.Backups[n];
            compareKeys(backups[n].toObject(), {"path", "size", "sha256", "run"});
            QCOMPARE(backups[n]["path"].toString(), backup.Path);
            QCOMPARE(backups[n]["size"].toInteger(), backup.Size);
            compareDigest(backups[n]["sha256"], backup.Sha256);
            QCOMPARE(backups[n]["run"].toInt(), backup.Run);
        }

        const QJsonArray images = json["images"].toArray();
        QCOMPARE(images.size(), record.Images.size());
        for (qsizetype n = 0; n < images.size(); ++n) {
            const TServedImage &image = record.Images[n];
            compareKeys(images[n].toObject(), {"name", "size", "sha256", "started", "ended", "bytes",
                                               "retransmissions", "completed", "rate"});
            QCOMPARE(images[n]["name"].toString(), image.Name);
            QCOMPARE(images[n]["size"].toInteger(), image.Size);
            compareDigest(images[n]["sha256"], image.Sha256);
            compareTime(images[n]["started"], image.Started);
            compareTime(images[n]["ended"], image.Ended);
            QCOMPARE(images[n]["bytes"].toInteger(), image.Bytes);
            QCOMPARE(images[n]["retransmissions"].toInt(), image.Retransmissions);
            QCOMPARE(images[n]["completed"].toBool(!image.Completed), image.Completed);
            QCOMPARE(images[n]["rate"].toDouble(-1), image.rate());
        }

        const QJsonArray timeline = json["timeline"].toArray();
        QCOMPARE(timeline.size(), record.Timeline.size());
        const QStringList kinds{"step", "wait", "transfer"};
        for (qsizetype n = 0; n < timeline.size(); ++n) {
            const TTimelineSpan &span = record.Timeline[n];
            compareKeys(timeline[n].toObject(), {"kind", "text", "started", "durationMs"});
            QCOMPARE(timeline[n]["kind"].toString(), kinds[int(span.Type)]);
            QCOMPARE(timeline[n]["text"].toString(), span.Text);
            compareTime(timeline[n]["started"], span.Started);
            QCOMPARE(timeline[n]["durationMs"].toInteger(), span.DurationMs);
        }

        const QJsonObject result = json["result"].toObject();
        compareKeys(result, {"outcome", "succeeded", "step", "reason", "error"});
        QCOMPARE(result["outcome"].toString(), outcomeName(record.Result.Outcome));
        QCOMPARE(result["succeeded"].toBool(!record.Result.succeeded()), record.Result.succeeded());
        QCOMPARE(result["step"].toString(), record.Result.Step);
        QCOMPARE(result["reason"].toString(), record.Result.Reason);
        QCOMPARE(result["error"].toString(), record.Result.Error);

        QCOMPARE(json["logPath"].toString(), record.LogPath);
        QCOMPARE(json["recordPath"].toString(), record.RecordPath);
        QCOMPARE(json["reportPath"].toString(), record.ReportPath);
        QCOMPARE(strings(json["leftConfigured"]), record.LeftConfigured);
        QCOMPARE(strings(json["removalCommands"]), record.RemovalCommands);
    }

    // The values automation keys on, spelled out as it reads them.
    void jsonValues_data()
    {
        QTest::addColumn<TRunRecord>("record");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("expected");
        QTest::newRow("outcome") << failedStack() << "result/outcome" << QJsonValue("failed");
        QTest::newRow("already final succeeded") << nothingDone() << "result/succeeded" << QJsonValue(true);
        QTest::newRow("interrupted did not") << interruptedRun() << "result/succeeded" << QJsonValue(false);
        QTest::newRow("time east of UTC, in UTC with ms")
            << interruptedRun() << "started" << QJsonValue("2026-03-12T09:14:03.120Z");
        QTest::newRow("state never read") << failedStack() << "afterReset" << QJsonValue(QJsonValue::Null);
        QTest::newRow("boot slot not read") << nothingDone() << "before/activeImage" << QJsonValue(QJsonValue::Null);
        QTest::newRow("unit of a stack") << failedStack() << "before/units/2/version" << QJsonValue("7.4.2");
        QTest::newRow("digest lower-case hex")
            << doneStandalone() << "backups/0/sha256" << QJsonValue(QString::fromLatin1(digestOf("config").toHex()));
        QTest::newRow("digest not computed") << failedStack() << "images/0/sha256" << QJsonValue(QJsonValue::Null);
        QTest::newRow("transfer never ended") << failedStack() << "images/0/ended" << QJsonValue(QJsonValue::Null);
        QTest::newRow("rate in bytes a second") << doneStandalone() << "images/0/rate" << QJsonValue(36462.21875);
        QTest::newRow("kind of span") << doneStandalone() << "timeline/9/kind" << QJsonValue("wait");
        QTest::newRow("span start") << doneStandalone() << "timeline/12/started"
                                    << QJsonValue("2026-03-12T09:25:43.120Z");
        QTest::newRow("size past 32 bits") << [] {
            TRunRecord record = doneStandalone();
            record.Images.first().Size = 6'000'000'000;
            return record;
        }() << "images/0/size" << QJsonValue(6'000'000'000.0);
    }
    void jsonValues()
    {
        QFETCH(TRunRecord, record);
        QFETCH(QString, path);
        QFETCH(QJsonValue, expected);
        QCOMPARE(valueAt(recordJson(record), path), expected);
    }

    void reportIsOneReadablePage_data() { addRecords(); }
    void reportIsOneReadablePage()
    {
        QFETCH(TRunRecord, record);
        const QString html = reportHtml(record);
        QVERIFY(html.startsWith("<!DOCTYPE html>"));
        QString error;
        const Node page = readPage(html, error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(page.children.size(), 1);
        QCOMPARE(page.children.first().name, QString("html"));

        // Nothing from outside the page: no element that loads, no address anywhere.
        QVERIFY(elements(page, "script").isEmpty());
        for (const char *loader : {"link", "img", "iframe", "object", "embed", "image", "use", "a"})
            QVERIFY2(elements(page, loader).isEmpty(), loader);
        const auto referencing = findAll(page, [](const Node &node) {
            return node.attributes.hasAttribute("src") || node.attributes.hasAttribute("href")
                || node.attributes.hasAttribute("xlink:href") || node.attributes.hasAttribute("srcset");
        });
        QVERIFY(referencing.isEmpty());
        const QString lower = html.toLower();
        for (const char *address : {"http", "//", "src=", "url(", "@import"})
            QVERIFY2(!lower.contains(address), address);
        QCOMPARE(elements(page, "style").size(), 1);

        // The outcome in words, in the heading and the page's title.
        const auto heading = elements(page, "h1");
        QCOMPARE(heading.size(), 1);
        QVERIFY2(heading.first()->text.contains(outcomeWord(record.Result.Outcome)), qPrintable(heading.first()->text));
        QVERIFY(heading.first()->text.contains(shown(record.SwitchAddress)));
        QVERIFY(elements(page, "title").first()->text.contains(outcomeWord(record.Result.Outcome)));

        const Node *stop = findId(page, "stop");
        QCOMPARE(stop != nullptr, !record.Result.succeeded());
        if (stop) {
            QVERIFY(stop->text.contains(record.Result.Step));
            QVERIFY(stop->text.contains(record.Result.Reason));
            QVERIFY(stop->text.contains(shown(record.Result.Error)));
        }

        const Node *identity = findId(page, "switch");
        QVERIFY(identity);
        for (const QString &text : {record.Type, record.ObjectId, record.SystemName, record.MacAddress})
            QVERIFY2(identity->text.contains(shown(text)), qPrintable(text));

        // Before, after the reset and after: a state not read reads so in its whole column.
        const Node *versions = findId(page, "versions");
        QVERIFY(versions);
        const QList<std::optional<TSwitchState>> states{record.Before, record.AfterReset, record.After};
        const auto rows = elements(*versions, "tr");
        QVERIFY(rows.size() > 4);
        for (const Node *row : rows.mid(1)) {
            const auto cells = elements(*row, "td");
            QCOMPARE(cells.size(), 3);
            for (int column = 0; column < 3; ++column)
                if (!states[column])
                    QCOMPARE(cells[column]->text, QString("not read"));
        }
        for (const TUnitState &unit : record.Before.Units)
            QVERIFY(versions->text.contains(unit.Version));

        const Node *backups = findId(page, "backups");
        QVERIFY(backups);
        const auto backupRows = elements(*backups, "tr", "has-digest");
        QCOMPARE(backupRows.size(), record.Backups.size());
        for (qsizetype n = 0; n < backupRows.size(); ++n) {
            QVERIFY(backupRows[n]->text.contains(record.Backups[n].Path));
            QCOMPARE(backupRows[n]->text.contains("before anything changed"), n == 0);
        }
        for (const TBackupFile &backup : record.Backups)
            QVERIFY(backups->text.contains(QString::fromLatin1(backup.Sha256.toHex())));

        const Node *images = findId(page, "images");
        QVERIFY(images);
        const auto imageRows = elements(*images, "tr", "has-digest");
        QCOMPARE(imageRows.size(), record.Images.size());
        for (qsizetype n = 0; n < imageRows.size(); ++n) {
            QVERIFY(imageRows[n]->text.contains(record.Images[n].Name));
            QCOMPARE(imageRows[n]->text.contains("not completed"), !record.Images[n].Completed);
        }

        // The timeline: one bar per span, the drawing scales and names itself to a screen reader.
        const auto svgs = elements(page, "svg");
        QCOMPARE(svgs.size(), 1);
        QCOMPARE(elements(*svgs.first(), "rect", "bar").size(), record.Timeline.size());
        QVERIFY(svgs.first()->attribute("viewBox").startsWith("0 0 "));
        QVERIFY(!svgs.first()->attributes.hasAttribute("width"));
        for (const QString &id : svgs.first()->attribute("aria-labelledby").split(' '))
            QVERIFY2(findId(*svgs.first(), id) && !findId(*svgs.first(), id)->text.isEmpty(), qPrintable(id));
        QCOMPARE(elements(*svgs.first(), "g", "row").size(), 3);

        const Node *steps = findId(page, "steps");
        QVERIFY(steps);
        QCOMPARE(elements(*steps, "tr").size(), record.Timeline.isEmpty() ? 0 : record.Timeline.size() + 1);
        for (const TTimelineSpan &span : record.Timeline)
            QVERIFY(steps->text.contains(span.Text));

        // What stays on the switch, and the commands that remove it as they are typed.
        const Node *left = findId(page, "left-configured");
        QVERIFY(left);
        for (const QString &setting : record.LeftConfigured)
            QVERIFY(left->text.contains(setting));
        const auto commands = elements(*left, "pre");
        QCOMPARE(commands.size(), record.RemovalCommands.isEmpty() ? 0 : 1);
        if (!commands.isEmpty())
            QCOMPARE(commands.first()->text, record.RemovalCommands.join('\n'));

        QVERIFY(findId(page, "files")->text.contains(record.LogPath));
    }

    void reportEscapesSwitchTexts()
    {
        const TRunRecord record = hostileTexts();
        const QString html = reportHtml(record);
        QVERIFY(!html.contains("<script"));
        QVERIFY(!html.contains("<b>"));
        QVERIFY(!html.contains("<x>"));
        QVERIFY(html.contains("&lt;script&gt;&amp;&quot;%2 S\u00fcd"));
        QVERIFY(html.contains("&lt;unit&gt;&amp;amp;"));
        // The escape sequence of a telnet answer would make the page unreadable as XML.
        QVERIFY(!html.contains(QChar(0x1b)));
        QVERIFY(html.contains("GS-24\uFFFD[K &lt;b&gt;"));
        QString error;
        const Node page = readPage(html, error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(findId(page, "switch")->text.contains("<script>&\"%2 S\u00fcd"));
        QVERIFY(findId(page, "switch")->text.contains("%1%2"));
    }

    // Bars stand where their spans began and are as long as they lasted.
    void timelineBarsFollowTime()
    {
        TRunRecord record = nothingDone();
        record.Ended = at(720);
        record.Timeline = {{Kind::Step, "one minute", at(0), 60000},
                           {Kind::Wait, "two minutes", at(60), 120000},
                           {Kind::Transfer, "an instant", at(180), 0}};
        QString error;
        const Node page = readPage(reportHtml(record), error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const auto bars = elements(page, "rect", "bar");
        QCOMPARE(bars.size(), 3);
        QVERIFY(bars[0]->hasClass("step"));
        QVERIFY(bars[1]->hasClass("wait"));
        QVERIFY(bars[2]->hasClass("transfer"));
        const auto x = [&](int n) { return bars[n]->attribute("x").toDouble(); };
        const auto width = [&](int n) { return bars[n]->attribute("width").toDouble(); };
        QVERIFY(width(0) > 0);
        QVERIFY(qAbs(width(1) - 2 * width(0)) < 0.5);
        QVERIFY(qAbs(x(1) - (x(0) + width(0))) < 0.5);
        QVERIFY(qAbs(x(2) - (x(1) + width(1))) < 0.5);
        QVERIFY2(width(2) >= 1, "a span without length still shows");
        QVERIFY(qAbs((x(2) - x(0)) / 180.0 * 720.0 - 12 * width(0)) < 1.0);

        // Each bar is labelled and tells its span when pointed at.
        const auto groups = findAll(page, [](const Node &node) {
            return node.name == "g" && !node.children.isEmpty() && node.children.first().name == "title";
        });
        QCOMPARE(groups.size(), 3);
        QVERIFY(groups[1]->children.first().text.contains("two minutes"));
        QVERIFY(!elements(*groups[1], "text", "label").isEmpty());
    }

    void timeAxisCountsMinutes_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("ticks");
        QTest::newRow("twelve minutes") << 720 << QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
                                                              "11", "12"};
        QTest::newRow("forty seconds") << 40 << QStringList{"0:00", "0:05", "0:10", "0:15", "0:20", "0:25", "0:30",
                                                            "0:35", "0:40"};
        QTest::newRow("three hours") << 3 * 3600 << QStringList{"0", "15", "30", "45", "60", "75", "90", "105",
                                                                "120", "135", "150", "165", "180"};
    }
    void timeAxisCountsMinutes()
    {
        QFETCH(int, seconds);
        QFETCH(QStringList, ticks);
        TRunRecord record = nothingDone();
        record.Ended = at(seconds);
        QString error;
        const Node page = readPage(reportHtml(record), error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QStringList labels;
        for (const Node *tick : elements(page, "text", "tick"))
            labels.append(tick->text);
        QCOMPARE(labels, ticks);
    }

    void rate_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QDateTime>("started");
        QTest::addColumn<QDateTime>("ended");
        QTest::addColumn<double>("rate");
        QTest::newRow("over the transfer's time") << qint64(3500373) << at(19) << at(115) << 36462.21875;
        QTest::newRow("bytes sent, not the size") << qint64(1000) << at(0) << at(0).addMSecs(250) << 4000.0;
        QTest::newRow("no measurable time") << qint64(1000) << at(5) << at(5) << 0.0;
        QTest::newRow("never ended") << qint64(1000) << at(5) << QDateTime() << 0.0;
        QTest::newRow("ended before it began") << qint64(1000) << at(5) << at(4) << 0.0;
    }
    void rate()
    {
        QFETCH(qint64, bytes);
        QFETCH(QDateTime, started);
        QFETCH(QDateTime, ended);
        QFETCH(double, rate);
        TServedImage image;
        image.Size = 3500373;
        image.Bytes = bytes;
        image.Started = started;
        image.Ended = ended;
        QCOMPARE(image.rate(), rate);
    }

    void writeRecordFilesWritesBoth()
    {
        QTemporaryDir dir;
        TRunRecord record = doneStandalone();
        record.RecordPath = dir.filePath("sw.run.json");
        record.ReportPath = dir.filePath("sw.run.html");
        QVERIFY(writeFile(record.RecordPath, "an earlier record"));
        QCOMPARE(writeRecordFiles(record), QString());
        QCOMPARE(QJsonDocument::fromJson(readFile(record.RecordPath)).object(), recordJson(record));
        QCOMPARE(QString::fromUtf8(readFile(record.ReportPath)), reportHtml(record));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    }

    // A folder that cannot be written leaves its file as it was, and the other file is written.
    void writeRecordFilesLeavesExistingFileWhole_data()
    {
        QTest::addColumn<bool>("recordLocked");
        QTest::newRow("record's folder read-only") << true;
        QTest::newRow("report's folder read-only") << false;
    }
    void writeRecordFilesLeavesExistingFileWhole()
    {
        QFETCH(bool, recordLocked);
        QTemporaryDir dir;
        const QFile::Permissions enter = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        const QFile::Permissions write = QFile::WriteGroup | QFile::WriteOther;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | enter);
        QVERIFY(QDir(dir.path()).mkpath("locked"));
        QVERIFY(QDir(dir.path()).mkpath("open"));
        QFile::setPermissions(dir.filePath("open"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | enter | write);
        TRunRecord record = doneStandalone();
        const QString locked = dir.filePath(recordLocked ? "locked/sw.run.json" : "locked/sw.run.html");
        const QString open = dir.filePath(recordLocked ? "open/sw.run.html" : "open/sw.run.json");
        record.RecordPath = recordLocked ? locked : open;
        record.ReportPath = recordLocked ? open : locked;
        QVERIFY(writeFile(locked, "the earlier file, whole"));
        // The file itself may be written: only a write in its place could spoil it.
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | enter | write);

        QString problem;
        {
            const ReadOnlyFolder readOnly(dir.filePath("locked"));
            if (!readOnly.holds())
                QSKIP("cannot give up root's rights here, and root writes into any folder");
            problem = writeRecordFiles(record);
        }
        QVERIFY2(problem.contains(locked), qPrintable(problem));
        QVERIFY2(problem.contains(recordLocked ? "record" : "report"), qPrintable(problem));
        QVERIFY2(!problem.contains(open), qPrintable(problem));
        QCOMPARE(readFile(locked), QByteArray("the earlier file, whole"));
        QCOMPARE(QDir(dir.filePath("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(locked).fileName()});
        QVERIFY(readFile(open).startsWith(recordLocked ? "<!DOCTYPE html>" : "{"));
    }

    void writeRecordFilesNeedsPaths()
    {
        TRunRecord record = doneStandalone();
        record.RecordPath.clear();
        record.ReportPath.clear();
        const QString problem = writeRecordFiles(record);
        QVERIFY2(problem.contains("record") && problem.contains("report"), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestRunRecord)
#include "tst_runrecord.moc"
