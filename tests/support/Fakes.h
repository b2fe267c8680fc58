#pragma once

#include "platform/Clipboard.h"
#include "platform/FolderPicker.h"

#include <QMimeData>

#include <memory>

namespace glimra::test {

class FakeClipboard final : public Clipboard {
public:
    void setMimeData(QMimeData* data) override
    {
        current.reset(data);
        ++count;
    }
    quint64 changeCount() const override { return count; }
    QByteArray dataFor(const QString& type) const
    {
        return current ? current->data(type) : QByteArray();
    }

    std::unique_ptr<QMimeData> current;
    quint64 count = 0;
};

class FakeFolderPicker final : public FolderPicker {
public:
    std::optional<QString> chooseFolder(const QString& prompt, const QString& message) override
    {
        lastPrompt = prompt;
        lastMessage = message;
        return nextAnswer;
    }
    std::optional<QString> nextAnswer;
    QString lastPrompt, lastMessage;
};

} // namespace glimra::test
