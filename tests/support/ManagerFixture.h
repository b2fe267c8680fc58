// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ScreenshotManager.h"

#include "Fakes.h"
#include "TestSupport.h"

namespace glimra::test {

class ManagerFixture : public ::testing::Test {
protected:
    ManagerFixture() : manager(&clipboard, &picker) { QDir().mkpath(home.libraryDir()); }

    QString libraryFile(const QString& name) const { return home.libraryDir() + u'/' + name; }
    QString systemFile(const QString& name) const
    {
        return home.path() + u"/Pictures/Screenshots/"_s + name;
    }

    void loadAndWait()
    {
        manager.loadScreenshots();
        ASSERT_TRUE(waitUntil([&] { return manager.isLibraryLoaded(); }));
    }

    QStringList listedNames() const
    {
        QStringList names;
        for (const ScreenshotItemPtr& item : manager.screenshots())
            names.append(item->filePath ? QFileInfo(*item->filePath).fileName() : QString());
        return names;
    }

    ScopedHome home;
    FakeClipboard clipboard;
    FakeFolderPicker picker;
    ScreenshotManager manager;
};

} // namespace glimra::test
