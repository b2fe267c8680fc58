// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextIndex.h"
#include "TestSupport.h"
#include "text/TextWorker.h"

using namespace glimra::text;

namespace {

// A library whose "pictures" hold the helper's answer lines themselves, read by a stand-in
// helper that notes every path it is asked for.
class Library {
public:
    Library()
    {
        m_helper = m_home.path() + QStringLiteral("/helper");
        const QByteArray script =
            "#!/bin/sh\necho ready\nwhile read -r p; do echo \"$p\" >> '" +
            QFile::encodeName(log()) +
            "'; case \"$p\" in *bad*) echo 'error no picture'; continue;; esac\n"
            "echo 'ok 1 1'; cat \"$p\"; echo .; done\n";
        test::writeFile(m_helper, script);
        QFile::setPermissions(m_helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString path(const QString& name) const
    {
        return m_home.libraryDir() + QLatin1Char('/') + name;
    }
    QString log() const { return m_home.path() + QStringLiteral("/reads"); }
    QString indexPath() const { return m_home.path() + QStringLiteral("/text.sqlite"); }

    // One word per line of text.
    void put(const QString& name, const QStringList& lines, int age)
    {
        QByteArray answer;
        for (int i = 0; i < lines.size(); ++i)
            answer += QByteArray::number(i) + " 0 0 9 9 " + lines[i].toUtf8() + '\n';
        test::writeFile(path(name), answer);
        m_files[name] = QDateTime::currentDateTime().addSecs(-age);
    }
    void remove(const QString& name)
    {
        QFile::remove(path(name));
        m_files.remove(name);
    }
    void rename(const QString& from, const QString& to)
    {
        QFile::rename(path(from), path(to));
        m_files[to] = m_files.take(from);
    }

    QList<LibraryFile> files() const
    {
        QList<LibraryFile> files;
        for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
            files.append({path(it.key()), it.value()});
        return files;
    }

    // Hands the library to a worker and waits until it has read everything.
    QStringList pass(TextWorker& worker)
    {
        QFile::remove(log());
        int left = -1;
        const QMetaObject::Connection watch = QObject::connect(
            &worker, &TextWorker::pendingChanged, [&](int pending) { left = pending; });
        worker.setLibrary(files());
        test::waitUntil([&] { return left == 0; });
        QObject::disconnect(watch);
        QFile reads(log());
        reads.open(QIODevice::ReadOnly);
        QStringList names;
        for (const QByteArray& line : reads.readAll().split('\n'))
            if (!line.isEmpty())
                names.append(QFileInfo(QString::fromUtf8(line)).fileName());
        return names;
    }

    std::unique_ptr<TextWorker> worker(std::shared_ptr<std::atomic<bool>> paused = nullptr)
    {
        return std::make_unique<TextWorker>(
            TextWorker::Options{indexPath(), m_helper, QStringLiteral("eng"), {}, nullptr},
            std::make_shared<std::atomic<bool>>(false),
            paused ? paused : std::make_shared<std::atomic<bool>>(false));
    }

private:
    test::ScopedHome m_home;
    QString m_helper;
    QMap<QString, QDateTime> m_files;
};

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out.append(QString::fromUtf8(item));
    return out;
}

QStringList names(const QList<SearchMatch>& matches)
{
    QStringList out;
    for (const SearchMatch& match : matches)
        out.append(match.name);
    out.sort();
    return out;
}

} // namespace

TEST(TextIndex, ReadsEachFileOnceUntilItChanges)
{
    Library library;
    library.put(QStringLiteral("old.png"), {QStringLiteral("invoice")}, 100);
    library.put(QStringLiteral("new.png"), {QStringLiteral("receipt")}, 10);
    library.put(QStringLiteral("bad.png"), {}, 50);
    auto worker = library.worker();
    // Newest first; a file that is no picture is noted as such, and not tried again.
    EXPECT_EQ(library.pass(*worker), list({"new.png", "bad.png", "old.png"}));

    const struct {
        const char* change;
        std::function<void()> apply;
        QStringList read;
    } rows[] = {
        {"nothing", [] {}, {}},
        {"added", [&] { library.put(QStringLiteral("added.png"), {QStringLiteral("ticket")}, 5); },
         list({"added.png"})},
        {"changed",
         [&] {
             library.put(QStringLiteral("old.png"),
                         {QStringLiteral("quote"), QStringLiteral("extra")}, 100);
         },
         list({"old.png"})},
        {"renamed", [&] { library.rename(QStringLiteral("new.png"), QStringLiteral("moved.png")); },
         list({"moved.png"})},
        {"deleted", [&] { library.remove(QStringLiteral("added.png")); }, {}},
    };
    for (const auto& row : rows) {
        row.apply();
        EXPECT_EQ(library.pass(*worker), row.read) << row.change;
    }
    const TextIndex index(library.indexPath());
    EXPECT_EQ(names(index.search(QStringLiteral("receipt"))), list({"moved.png"}));
    EXPECT_TRUE(index.search(QStringLiteral("ticket")).isEmpty());
    EXPECT_TRUE(index.search(QStringLiteral("invoice")).isEmpty());
    EXPECT_EQ(index.lookup(*keyOf(library.path(QStringLiteral("old.png"))))->text,
              QStringLiteral("quote\nextra"));
}

TEST(TextIndex, AStoppedPassResumesWhereItWas)
{
    Library library;
    for (int i = 0; i < 6; ++i)
        library.put(QStringLiteral("shot%1.png").arg(i), {QStringLiteral("word%1").arg(i)}, i);
    auto paused = std::make_shared<std::atomic<bool>>(false);
    {
        auto worker = library.worker(paused);
        int read = 0;
        QObject::connect(worker.get(), &TextWorker::fileRead, [&] {
            if (++read == 3)
                paused->store(true); // as when Glimra quits in the middle
        });
        worker->setLibrary(library.files());
        EXPECT_TRUE(test::waitUntil([&] { return read == 3; }));
        test::processEvents();
    }
    paused->store(false);
    QFile::rename(library.log(), library.log() + QStringLiteral(".first"));
    auto again = library.worker();
    const QStringList second = library.pass(*again);
    QStringList all = second + list({"shot0.png", "shot1.png", "shot2.png"});
    all.sort();
    EXPECT_EQ(second, list({"shot3.png", "shot4.png", "shot5.png"}));
    EXPECT_EQ(all.removeDuplicates(), 0);
}

TEST(TextIndex, FindsWordsAsPeopleTypeThem)
{
    Library library;
    library.put(QStringLiteral("Glimra_2026-03-14_09-30-00.png"),
                {QStringLiteral("Café"), QStringLiteral("ERROR"), QStringLiteral("infor-"),
                 QStringLiteral("mation"), QStringLiteral("\"quoted\"")},
                3);
    library.put(QStringLiteral("other.png"), {QStringLiteral("cafeteria")}, 2);
    auto worker = library.worker();
    library.pass(*worker);
    const TextIndex index(library.indexPath());
    const QString shot = QStringLiteral("Glimra_2026-03-14_09-30-00.png");
    const struct {
        const char* query;
        QStringList found;
    } rows[] = {
        {"cafe", {shot, QStringLiteral("other.png")}}, // diacritics and word starts
        {"CAFÉ error", {shot}},                        // case, every word needed
        {"information", {shot}},                       // a word broken over two lines
        {"2026-03-14", {shot}},                        // the file name
        {"formation", {}},                             // only word starts count
        {"\"quoted\" AND OR * NEAR(", {}},             // query syntax is just text
        {"   ", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(names(index.search(QString::fromUtf8(row.query))), row.found) << row.query;
}

TEST(TextIndex, TurningRecognitionOffLeavesNoIndex)
{
    Library library;
    library.put(QStringLiteral("a.png"), {QStringLiteral("word")}, 1);
    auto worker = library.worker();
    library.pass(*worker);
    ASSERT_TRUE(QFile::exists(library.indexPath()));
    worker->removeIndex();
    const QDir folder = QFileInfo(library.indexPath()).dir();
    EXPECT_TRUE(folder.entryList({QStringLiteral("text.sqlite*")}, QDir::Files).isEmpty());
}
