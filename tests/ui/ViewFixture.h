// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "core/ServerScreenshot.h"
#include "core/SyncService.h"
#include "library/ScreenshotManager.h"
#include "platform/FileOpener.h"
#include "shortcuts/HotkeySettings.h"
#include "sync/NetworkManager.h"
#include "ui/ContentView.h"

#include "ManagerFixture.h"

#include <QAbstractButton>
#include <QSettings>

namespace glimra::test {

class FakeOpener final : public FileOpener {
public:
    bool open(const QString& path) override
    {
        opened.append(path);
        return true;
    }
    QStringList opened;
};

// A content view over a real library in a private home, with the desktop faked and a web
// service that never answers.
class ViewFixture : public ManagerFixture {
protected:
    ViewFixture() { manager.setSyncService(&sync); }
    ~ViewFixture() override { manager.setSyncService(nullptr); }

    // Token is stored first when given: the session then starts signed in and checks it.
    void makeAuth(const std::optional<QString>& token = std::nullopt)
    {
        auto keychain = std::make_unique<KeychainHelper>(u"com.tarnwick.glimra.test.views"_s,
                                                         KeychainHelper::Backend::File);
        if (token)
            keychain->save(*token);
        auth = std::make_unique<AuthManager>(new NetworkManager(u"http://127.0.0.1:9"_s),
                                             std::move(keychain));
    }

    ContentView& view()
    {
        if (!content) {
            if (!auth)
                makeAuth();
            ViewServices services{&manager, auth.get(), &hotkeys, nullptr,
                                  nullptr,  &clipboard, &opener};
            services.edit = [this](const QString& path) { edited.append(path); };
            content = std::make_unique<ContentView>(services);
            content->resize(360, 480);
            content->show();
        }
        return *content;
    }

    void addScreenshots(int count)
    {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(writeImage(libraryFile(u"Glimra_2026-01-0%1_10-00-00.png"_s.arg(i + 1)),
                                   makeTestImage(320, 200, 0xff102030 + i)));
        // Files left from before stay in the folder, so the list holds exactly these.
        manager.loadScreenshots();
        ASSERT_TRUE(waitUntil(
            [&] { return manager.isLibraryLoaded() && manager.screenshots().size() == count; }));
    }

    // The view's button a screen reader announces under this name.
    QAbstractButton* button(const QString& name)
    {
        for (auto* found : view().findChildren<QAbstractButton*>())
            if (found->accessibleName() == name)
                return found;
        ADD_FAILURE() << "no button " << name.toStdString();
        return nullptr;
    }

    static ServerScreenshot record(qint64 id, const QString& name, qint64 size = 2048)
    {
        return {id, u"s"_s + QString::number(id), name, size, u"window"_s, u"2026-01-01"_s};
    }

    QSettings settingsStore{home.path() + u"/settings.ini"_s, QSettings::IniFormat};
    FakeOpener opener;
    QStringList edited; // what the rows asked the editor to open
    RecordingSync sync;
    HotkeySettings hotkeys{settingsStore};
    std::unique_ptr<AuthManager> auth;
    std::unique_ptr<ContentView> content;
};

} // namespace glimra::test
