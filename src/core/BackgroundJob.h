// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThreadPool>

#include <memory>
#include <type_traits>
#include <utility>

namespace glimra {

// Runs job on pool and hands its result to done on context's thread, through that thread's
// event loop. When context is destroyed first, done never runs: a late result cannot reach a
// dead object. The job itself must not capture context.
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
    // The pool takes copyable functions only; the promise is shared with the one run.
    auto promise = std::make_shared<QPromise<Result>>();
    watcher->setFuture(promise->future());
    promise->start();
    pool->start([promise, job = std::move(job)]() mutable {
        promise->addResult(job());
        promise->finish();
    });
}

} // namespace glimra
