#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace glimra {

// Runs job on pool and hands its result to done on context's thread. When context is
// destroyed first, done never runs: a late result cannot reach a dead object. The job itself
// must not capture context.
template <typename Job, typename Done>
void runInBackground(QThreadPool* pool, QObject* context, Job job, Done done)
{
    using Result = std::invoke_result_t<Job>;
    auto* watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, done = std::move(done)]() mutable {
                         done(watcher->result());
                         watcher->deleteLater();
                     });
    watcher->setFuture(QtConcurrent::run(pool, std::move(job)));
}

} // namespace glimra
