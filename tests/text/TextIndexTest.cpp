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
        m_helper = m_home.path() + u"/helper"_s;
        test::writeScript(m_helper,
                          "echo ready\nwhile read -r p; do echo \"$p\" >> '" +
                              QFile::encodeName(log()) +
                              "'; case \"$p\" in *bad*) echo 'error no picture'; continue;; esac\n"
                              "echo 'ok 1 1'; cat \"$p\"; echo .; done\n");
    }

    QString path(const QString& name) const { return m_home.libraryDir() + u'/' + name; }
    QString log() const { return m_home.path() + u"/reads"_s; }
    QString indexPath() const { return m_home.path() + u"/text.sqlite"_s; }

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
            TextWorker::Options{indexPath(), m_helper, u"eng"_s, {}, nullptr},
            std::make_shared<std::atomic<bool>>(false),
            paused ? paused : std::make_shared<std::atomic<bool>>(false));
    }

private:
    test::ScopedHome m_home;
    QString m_helper;
    QMap<QString, QDateTime> m_files;
};

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
    library.put(u"old.png"_s, {u"invoice"_s}, 100);
    library.put(u"new.png"_s, {u"receipt"_s}, 10);
    library.put(u"bad.png"_s, {}, 50);
    auto worker = library.worker();
    // Newest first; a file that is no picture is noted as such, and not tried again.
    EXPECT_EQ(library.pass(*worker), (QStringList{u"new.png"_s, u"bad.png"_s, u"old.png"_s}));

    // A change to the library; the files read again.
    const std::tuple<const char*, std::function<void()>, QStringList> rows[] = {
        {"nothing", [] {}, {}},
        {"added", [&] { library.put(u"added.png"_s, {u"ticket"_s}, 5); }, {u"added.png"_s}},
        {"changed",
         [&] {
             library.put(u"old.png"_s, {u"quote"_s, u"x"_s}, 100);
         },
         {u"old.png"_s}},
        {"renamed", [&] { library.rename(u"new.png"_s, u"moved.png"_s); }, {u"moved.png"_s}},
        {"deleted", [&] { library.remove(u"added.png"_s); }, {}},
    };
    for (const auto& [change, apply, read] : rows) {
        apply();
        EXPECT_EQ(library.pass(*worker), read) << change;
    }
    const TextIndex index(library.indexPath());
    EXPECT_EQ(names(index.search(u"receipt"_s)), QStringList{u"moved.png"_s});
    EXPECT_TRUE(index.search(u"ticket"_s).isEmpty());
    EXPECT_TRUE(index.search(u"invoice"_s).isEmpty());
    EXPECT_EQ(index.lookup(*keyOf(library.path(u"old.png"_s)))->text, u"quote\nx"_s);
}

TEST(TextIndex, AStoppedPassResumesWhereItWas)
{
    Library library;
    for (int i = 0; i < 6; ++i)
        library.put(u"shot%1.png"_s.arg(i), {u"word%1"_s.arg(i)}, i);
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
    // Only the three the first worker had not read, none of them twice.
    auto again = library.worker();
    EXPECT_EQ(library.pass(*again), (QStringList{u"shot3.png"_s, u"shot4.png"_s, u"shot5.png"_s}));
}

TEST(TextIndex, FindsWordsAsPeopleTypeThemUntilRecognitionIsTurnedOff)
{
    Library library;
    library.put(u"Glimra_2026-03-14_09-30-00.png"_s,
                {u"Café"_s, u"ERROR"_s, u"infor-"_s, u"mation"_s, u"\"quoted\""_s}, 3);
    library.put(u"other.png"_s, {u"cafeteria"_s}, 2);
    auto worker = library.worker();
    library.pass(*worker);
    const TextIndex index(library.indexPath());
    const QString shot = u"Glimra_2026-03-14_09-30-00.png"_s;
    const std::pair<const char*, QStringList> rows[] = {
        {"cafe", {shot, u"other.png"_s}},  // diacritics and word starts
        {"CAFÉ error", {shot}},            // case, every word needed
        {"information", {shot}},           // a word broken over two lines
        {"2026-03-14", {shot}},            // the file name
        {"formation", {}},                 // only word starts count
        {"\"quoted\" AND OR * NEAR(", {}}, // query syntax is just text
        {"   ", {}},
    };
    for (const auto& [query, found] : rows)
        EXPECT_EQ(names(index.search(QString::fromUtf8(query))), found) << query;

    // Turning recognition off leaves no index behind.
    worker->removeIndex();
    const QDir folder = QFileInfo(library.indexPath()).dir();
    EXPECT_TRUE(folder.entryList({u"text.sqlite*"_s}, QDir::Files).isEmpty());
}
